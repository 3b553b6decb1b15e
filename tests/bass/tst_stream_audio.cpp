// Level readings, the loudness boost and the mono fold-down, measured on real decoded audio.

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

    // Readings are kept ten at a time, the oldest overwritten; no channel reads as silence and
    // takes no gain.
    void levelReadings()
    {
        Stream stream;
        int left = -1, right = -1;
        stream.ReadLevels(&left, &right);
        QCOMPARE(left, 0);
        QCOMPARE(right, 0);
        stream.AdjustGain(); // without a channel neither adjusting nor applying does anything
        stream.ApplyGain(6);
        QCOMPARE(stream.Gain(), 0);
        QCOMPARE(stream.GainSteps(), 0);
        QCOMPARE(stream.CompressorHandle(), HFX(0));
        const QString path = makeTone(sine(0.5), sine(0.25, 660));
        QVERIFY(!path.isEmpty());
        QVERIFY(stream.OpenFileForDecoding(path));
        for (int i = 0; i < 9; ++i)
            stream.ReadLevels(&left, &right);
        QVERIFY2(qAbs(left - 50) <= 1 && qAbs(right - 25) <= 1,
                 qPrintable(QStringLiteral("%1 %2").arg(left).arg(right)));
        QList<int> kept = stream.LevelsLeft();
        QCOMPARE(kept.size(), Stream::LevelReadings);
        QCOMPARE(kept.first(), 0); // taken without a channel
        QCOMPARE(kept.last(), left);
        QCOMPARE(stream.LevelsRight().last(), right);
        stream.ReadLevels(&left, &right); // the eleventh replaces the first
        kept = stream.LevelsLeft();
        QCOMPARE(kept.size(), Stream::LevelReadings);
        QCOMPARE(kept.first(), left);
    }

    // Each step measures the level first: quiet audio is raised 2 dB a step up to 10 dB in
    // five steps and no further; loud audio is left alone; silence makes no step.
    void loudnessBoost_data()
    {
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<QList<int>>("gains"); // after each of six adjustments
        QTest::addColumn<int>("steps");        // adjustments counted
        QTest::addColumn<int>("levelAfter");   // percent, measured after the last step

        QTest::newRow("quiet: five steps to 10 dB") << 0.2 << QList<int>{2, 4, 6, 8, 10, 10} << 5 << 63;
        QTest::newRow("loud: left alone") << 0.7 << QList<int>{0, 0, 0, 0, 0, 0} << 5 << 70;
        QTest::newRow("silence: no step") << 0.0 << QList<int>{0, 0, 0, 0, 0, 0} << 0 << 0;
    }

    void loudnessBoost()
    {
        QFETCH(double, amplitude);
        QFETCH(QList<int>, gains);
        QFETCH(int, steps);
        QFETCH(int, levelAfter);
        const QString path = makeTone(sine(amplitude), sine(amplitude));
        QVERIFY(!path.isEmpty());
        Stream stream;
        QVERIFY(stream.OpenFileForDecoding(path));
        const int before = meanLevels(stream).first;
        QVERIFY2(qAbs(before - int(amplitude * 100)) <= 1, qPrintable(QString::number(before)));
        QList<int> seen;
        QList<int> levels;
        for (int i = 0; i < gains.size(); ++i) {
            meanLevels(stream);
            stream.AdjustGain();
            seen << stream.Gain();
            levels << meanLevels(stream).first;
        }
        QCOMPARE(seen, gains);
        QCOMPARE(stream.GainSteps(), steps);
        // What is heard follows the gain: each reading is the tone times 10^(gain/20).
        for (int i = 0; i < gains.size(); ++i) {
            const int expected = qMin(100, int(amplitude * 100 * std::pow(10.0, gains[i] / 20.0)));
            QVERIFY2(
                qAbs(levels[i] - expected) <= 2,
                qPrintable(QStringLiteral("step %1: %2, expected %3").arg(i).arg(levels[i]).arg(expected)));
        }
        QVERIFY2(qAbs(levels.last() - levelAfter) <= 2, qPrintable(QString::number(levels.last())));
        QCOMPARE(stream.CompressorHandle() != 0, steps > 0);
    }

    // Both sides become their mean, sample by sample.
    void monoFoldDown_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("beforeLeft");
        QTest::addColumn<int>("beforeRight");
        QTest::addColumn<int>("after");

        QTest::newRow("left only") << sine(0.6) << QStringLiteral("0") << 60 << 0 << 30;
        QTest::newRow("in phase") << sine(0.6) << sine(0.2) << 60 << 20 << 40;
        QTest::newRow("opposite phase cancels") << sine(0.5) << sine(-0.5) << 50 << 50 << 0;
    }

    void monoFoldDown()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, beforeLeft);
        QFETCH(int, beforeRight);
        QFETCH(int, after);
        const QString path = makeTone(left, right);
        QVERIFY(!path.isEmpty());
        Stream stream;
        QVERIFY(stream.OpenFileForDecoding(path));
        QVERIFY(levelsNear(meanLevels(stream), beforeLeft, beforeRight));
        stream.SetMono(true);
        QVERIFY(levelsNear(meanLevels(stream), after, after));
        stream.SetMono(false);
        QVERIFY(levelsNear(meanLevels(stream), beforeLeft, beforeRight));
    }

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
