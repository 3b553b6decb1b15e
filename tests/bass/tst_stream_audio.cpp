// The mono fold-down on real audio: the switch, set before a channel exists, folds the channel
// opened later.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "bassinit.h"
#include "media.h"
#include "stream.h"
#include "testmain.h"

using namespace BASS;
using TunoraTest::Media;

namespace {

QString makeTone(const QString &left, const QString &right, double seconds = 3.0)
{
    Media::Recipe recipe;
    recipe.format = Media::Wav;
    recipe.seconds = seconds;
    recipe.left = left;
    recipe.right = right;
    QString error;
    const QString path = Media::make(recipe, &error);
    if (path.isEmpty())
        qWarning() << "cannot make test audio:" << error;
    return path;
}

QString sine(double amplitude, double hz = 440)
{
    return QStringLiteral("%1*sin(2*PI*%2*t)").arg(amplitude).arg(hz);
}

// The mean of `count` level readings, per side.
QPair<int, int> meanLevels(Stream &stream, int count = 10)
{
    int sumLeft = 0, sumRight = 0;
    for (int i = 0; i < count; ++i) {
        int left = -1, right = -1;
        stream.ReadLevels(&left, &right);
        sumLeft += left;
        sumRight += right;
    }
    return {sumLeft / count, sumRight / count};
}

// Both sides within one percent of the expected levels.
bool levelsNear(QPair<int, int> levels, int left, int right, int tolerance = 1)
{
    if (qAbs(levels.first - left) <= tolerance && qAbs(levels.second - right) <= tolerance)
        return true;
    qWarning("levels %d %d, expected %d %d", levels.first, levels.second, left, right);
    return false;
}

} // namespace

class TestStreamAudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(InitAudioEngine(&error, 1, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
    }

    void cleanupTestCase() { BASS_Free(); }

    // The switch outlives the channel: a channel opened later is folded before it is heard.
    void monoForLaterChannels()
    {
        const QString path = makeTone(sine(0.6), QStringLiteral("0"), 10.0);
        QVERIFY(!path.isEmpty());
        Stream stream;
        stream.SetFadeTimes(0, 0);
        stream.SetMono(true); // no channel yet
        QVERIFY(stream.OpenFile(path, 0, true));
        QVERIFY(stream.IsPlaying());
        // The level is 0 until the output has played the first block, however long that takes;
        // unfolded audio reads 60/0 and never passes.
        QTRY_VERIFY_WITH_TIMEOUT(meanLevels(stream, 1).first > 0, 8000);
        QVERIFY(levelsNear(meanLevels(stream, 5), 30, 30, 2));
        QVERIFY(stream.Stop(0));
    }
};

TUNORA_TEST_MAIN_CORE(TestStreamAudio)
#include "tst_stream_audio.moc"
