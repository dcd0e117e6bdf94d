// The players plot: where the samples land, the round marks, gaps while nobody watched, and
// what an empty history shows.
#include "TestMain.h"

#include "watch/PlayersPlot.h"

#include <QImage>
#include <QTest>

using namespace quillory::ui;

namespace {

constexpr int64_t kNow = 1'800'000'000;

// Whether a pixel near `point` (within `radius`) has `colour`, give or take antialiasing.
bool ColourNear(const QImage& image, QPointF point, const QColor& colour, int radius = 2) {
    for (int dx = -radius; dx <= radius; ++dx)
        for (int dy = -radius; dy <= radius; ++dy) {
            const QPoint at(int(point.x()) + dx, int(point.y()) + dy);
            if (!image.rect().contains(at))
                continue;
            const QColor seen = image.pixelColor(at);
            if (std::abs(seen.red() - colour.red()) < 24 &&
                std::abs(seen.green() - colour.green()) < 24 &&
                std::abs(seen.blue() - colour.blue()) < 24)
                return true;
        }
    return false;
}

bool AnyColour(const QImage& image, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

// A server that fills over two hours, one sample a minute, a round starting at the middle.
std::vector<PlotSample> Filling() {
    std::vector<PlotSample> samples;
    for (int minute = 120; minute >= 0; --minute) {
        const int players = std::min(16, (120 - minute) / 6);
        samples.push_back({kNow - minute * 60, players, 16, minute == 60});
    }
    return samples;
}

} // namespace

class PlayersPlotTest : public QObject {
    Q_OBJECT

private:
    static QImage Painted(CPlayersPlot& plot) {
        plot.resize(480, 160);
        return plot.grab().toImage();
    }

private slots:
    void samplesLandWhereTheAxesSay() {
        CPlayersPlot plot;
        plot.SetSamples(Filling(), kNow);
        const QImage image = Painted(plot);
        QCOMPARE(plot.TopCount(), 16);
        // The newest sample is full: the line is at the top right; two hours ago it was empty.
        QVERIFY(ColourNear(image, plot.PointFor(kNow - 30, 16), CPlayersPlot::LINE_COLOUR));
        QVERIFY(ColourNear(image, plot.PointFor(kNow - 7200 + 60, 0), CPlayersPlot::LINE_COLOUR));
        // Before the first sample nothing is drawn at the top.
        QVERIFY(!ColourNear(image, plot.PointFor(kNow - 4 * 3600, 16), CPlayersPlot::LINE_COLOUR));
        // Points map inside the plot area, the present at its right edge.
        const QRectF area = plot.PlotArea();
        QCOMPARE(plot.PointFor(kNow, 0).x(), area.right());
        QCOMPARE(plot.PointFor(kNow - 6 * 3600, 0).x(), area.left());
        QCOMPARE(plot.PointFor(kNow, 16).y(), area.top());
    }

    void roundChangesAreMarked() {
        CPlayersPlot plot;
        plot.SetSamples(Filling(), kNow);
        const QImage image = Painted(plot);
        const double x = plot.PointFor(kNow - 3600, 0).x();
        const double top = plot.PlotArea().top();
        QVERIFY(ColourNear(image, QPointF(x, top + 2), CPlayersPlot::ROUND_COLOUR, 1));
        // No mark where no round began.
        const double other = plot.PointFor(kNow - 5400, 0).x();
        QVERIFY(!ColourNear(image, QPointF(other, top + 2), CPlayersPlot::ROUND_COLOUR, 1));
    }

    void aGapLeavesNoLine() {
        // Watched for an hour, then not for two hours, then again: nothing drawn between.
        std::vector<PlotSample> samples;
        for (int minute = 240; minute >= 180; minute -= 1)
            samples.push_back({kNow - minute * 60, 8, 16, false});
        for (int minute = 60; minute >= 0; minute -= 1)
            samples.push_back({kNow - minute * 60, 8, 16, false});
        CPlayersPlot plot;
        plot.SetSamples(samples, kNow);
        const QImage image = Painted(plot);
        QVERIFY(ColourNear(image, plot.PointFor(kNow - 200 * 60, 8), CPlayersPlot::LINE_COLOUR));
        QVERIFY(ColourNear(image, plot.PointFor(kNow - 30 * 60, 8), CPlayersPlot::LINE_COLOUR));
        QVERIFY(!ColourNear(image, plot.PointFor(kNow - 120 * 60, 8), CPlayersPlot::LINE_COLOUR));
    }

    void keepsOnlyTheHoursShown() {
        std::vector<PlotSample> samples = {{kNow - 7 * 3600, 30, 32, false},
                                           {kNow - 3600, 4, 16, false},
                                           {kNow + 600, 50, 64, false}};
        CPlayersPlot plot;
        plot.SetSamples(samples, kNow);
        QCOMPARE(plot.Samples().size(), size_t(1));
        // The scale follows what is shown, not what was dropped.
        QCOMPARE(plot.TopCount(), 16);
        plot.SetHours(0);
        QCOMPARE(plot.Hours(), 1);
        plot.SetHours(100);
        QCOMPARE(plot.Hours(), 24);
    }

    void emptyHistoryDrawsNoLine() {
        CPlayersPlot plot;
        plot.SetSamples({}, kNow);
        const QImage image = Painted(plot);
        QVERIFY(!AnyColour(image, CPlayersPlot::LINE_COLOUR));
        QCOMPARE(plot.TopCount(), 1);
    }
};

QUILLORY_WATCH_TEST(PlayersPlotTest);
#include "PlayersPlotTest.moc"
