// The engine's threads against a caller's thread, for the thread checker (scripts/test-tsan). This
// program starts no child process: once a process has started one while other threads ran (the
// other audio suites make their media files with ffmpeg), the checker reports nothing more.

#include "audiotest.h"
#include "testmain.h"

using namespace AudioTest;

namespace {

constexpr int End = 0, Position = 1; // the kinds of syncs logged

// A WAV in memory: 3 s of silence, 44.1 kHz stereo, 16 bits.
QByteArray silentWav()
{
    return QByteArray::fromHex("524946465413080057415645666d7420100000000100020044ac000010b10200"
                               "040010006461746130130800") +
           QByteArray(3 * 44100 * 4, '\0');
}

} // namespace

class TestAudioThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
    void cleanupTestCase() { BASS_Free(); }

    // Syncs set and removed on another thread while a channel plays: the decoder and the output
    // read the sync list on every block. Every sync kept fires once, none removed fires.
    void syncsChangeWhilePlaying()
    {
        const QByteArray wav = silentWav();
        const HSTREAM stream = BASS_StreamCreateFile(TRUE, wav.constData(), 0, QWORD(wav.size()), 0);
        QVERIFY(stream);
        SyncLog log;
        void *position = log.user(Position);
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(End)));
        const QWORD at = BASS_ChannelSeconds2Bytes(stream, 2.5);
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        int changes = 0, kept = 0, failed = 0;
        std::thread changer([&] {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 1000) {
                const HSYNC sync = BASS_ChannelSetSync(stream, BASS_SYNC_POS, at, SyncLog::record, position);
                failed += sync == 0;
                if (++changes % 1000 == 0)
                    ++kept;
                else
                    failed += !BASS_ChannelRemoveSync(stream, sync);
            }
        });
        changer.join();
        QCOMPARE(failed, 0);
        QVERIFY(kept > 0);
        QVERIFY(log.waitFor(End, 1, 10000));
        QCOMPARE(int(log.records(Position).size()), kept);
        QVERIFY(BASS_StreamFree(stream));
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioThreads)
#include "tst_audiothreads.moc"
