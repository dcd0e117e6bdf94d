#pragma once
// Players over the last hours for one server, painted here: the count as a filled step line,
// the server's maximum as a dashed line, and each round change as an orange mark, so the
// player sees when the server fills up.

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace quillory::ui {

struct PlotSample {
    int64_t unixSeconds = 0;
    int players = 0;
    int maxPlayers = 0;
    bool roundChanged = false;
};

class CPlayersPlot final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* EMPTY_TEXT = "No players counted yet";
    static constexpr int DEFAULT_HOURS = 6;
    // Samples further apart than this leave a gap: nobody was watching then.
    static constexpr int64_t GAP_SECONDS = 300;
    static const QColor LINE_COLOUR;
    static const QColor ROUND_COLOUR;

    explicit CPlayersPlot(QWidget* parent = nullptr);

    // The samples in time order; `nowSeconds` is the right edge.
    void SetSamples(std::vector<PlotSample> samples, int64_t nowSeconds);
    // How far back the plot looks, 1 to 24 hours.
    void SetHours(int hours);
    int Hours() const { return hours_; }
    // The samples inside the hours shown.
    const std::vector<PlotSample>& Samples() const { return shown_; }

    // Where the plot draws `players` at `unixSeconds`, at the widget's present size.
    QPointF PointFor(int64_t unixSeconds, int players) const;
    // The area inside the axes.
    QRectF PlotArea() const;
    // The count the top of the plot stands for.
    int TopCount() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintGrid(QPainter& painter, const QRectF& area) const;
    void PaintTimeLabels(QPainter& painter, const QRectF& area) const;
    void PaintMaximum(QPainter& painter, const QRectF& area) const;
    void PaintPlayers(QPainter& painter) const;
    void PaintRoundChanges(QPainter& painter, const QRectF& area) const;
    int64_t StartSeconds() const { return now_ - int64_t(hours_) * 3600; }
    void PickShown();

    std::vector<PlotSample> samples_; // the last day's
    std::vector<PlotSample> shown_;   // those inside the hours shown
    int64_t now_ = 0;
    int hours_ = DEFAULT_HOURS;
};

} // namespace quillory::ui
