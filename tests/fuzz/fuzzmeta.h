#pragma once

// Shared by the metadata fuzz targets: the first input byte picks the station's code page (an
// index into the table; larger values mean none), the rest is the data; a broken promise aborts
// so that the fuzzer records the input.

#include "codepage.h"
#include "metadata.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace FuzzMeta {

struct Input
{
    const char *codePage = nullptr;
    QByteArrayView rest;

    Input(const std::uint8_t *data, std::size_t size)
    {
        if (size == 0)
            return;
        const auto table = BASS::CodePageTable();
        const std::size_t pick = data[0];
        codePage = pick < table.size() ? table[pick].codePage : nullptr;
        rest = QByteArrayView(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    }
};

inline void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// The title processing writes debug lines; thousands a second would only slow the run.
inline void quietLog()
{
    static const bool installed = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    (void)installed;
}

} // namespace FuzzMeta
