#include "watch/PlayersPlot.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace quillory::ui {

namespace {

constexpr int kMargin = 4;
constexpr int kTickGap = 3;
// Time labels are at least this far apart, in pixels.
constexpr int kLabelSpacing = 56;
constexpr int kMinHours = 1;
constexpr int kMaxHours = 24;

} // namespace

const QColor CPlayersPlot::LINE_COLOUR(0x2b, 0x4c, 0x7e);
const QColor CPlayersPlot::ROUND_COLOUR(0xd0, 0x6a, 0x1a);

CPlayersPlot::CPlayersPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("playersPlot"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize CPlayersPlot::sizeHint() const {
    return {320, 130};
}

QSize CPlayersPlot::minimumSizeHint() const {
    return {180, 90};
}

void CPlayersPlot::SetSamples(std::vector<PlotSample> samples, int64_t nowSeconds) {
    now_ = nowSeconds;
    samples_ = std::move(samples);
    PickShown();
}

void CPlayersPlot::SetHours(int hours) {
    hours_ = std::clamp(hours, kMinHours, kMaxHours);
    PickShown();
}

void CPlayersPlot::PickShown() {
    shown_.clear();
    const int64_t start = StartSeconds();
    for (const PlotSample& s : samples_)
        if (s.unixSeconds >= start && s.unixSeconds <= now_)
            shown_.push_back(s);
    update();
}

int CPlayersPlot::TopCount() const {
    int top = 1;
    for (const PlotSample& s : shown_)
        top = std::max({top, s.players, s.maxPlayers});
    return top;
}

QRectF CPlayersPlot::PlotArea() const {
    const QFontMetrics metrics = fontMetrics();
    const double left = kMargin + metrics.horizontalAdvance(QString::number(TopCount())) + kTickGap;
    const double bottom = kMargin + metrics.height() + kTickGap;
    return QRectF(QPointF(left, kMargin + metrics.height() / 2.0),
                  QPointF(width() - kMargin - 1, height() - bottom));
}

QPointF CPlayersPlot::PointFor(int64_t unixSeconds, int players) const {
    const QRectF area = PlotArea();
    const double span = double(hours_) * 3600.0;
    const double x = area.left() + area.width() * double(unixSeconds - StartSeconds()) / span;
    const double y = area.bottom() - area.height() * double(players) / double(TopCount());
    return {x, y};
}

void CPlayersPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRectF area = PlotArea();
    PaintGrid(painter, area);
    PaintTimeLabels(painter, area);
    if (shown_.empty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(area, Qt::AlignCenter, QString::fromLatin1(EMPTY_TEXT));
        return;
    }
    PaintMaximum(painter, area);
    PaintPlayers(painter);
    PaintRoundChanges(painter, area);
}

void CPlayersPlot::PaintGrid(QPainter& painter, const QRectF& area) const {
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics metrics = fontMetrics();
    const double labelRight = area.left() - kTickGap;
    painter.drawText(
        QRectF(0, area.bottom() - metrics.height() / 2.0, labelRight, metrics.height()),
        Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    painter.drawText(QRectF(0, area.top() - metrics.height() / 2.0, labelRight, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(TopCount()));
}

void CPlayersPlot::PaintTimeLabels(QPainter& painter, const QRectF& area) const {
    // Whole hours of the local clock, as many as fit without crowding.
    const double pixelsPerHour = area.width() / hours_;
    const int step = std::max(1, int(kLabelSpacing / std::max(1.0, pixelsPerHour)) + 1);
    const QFontMetrics metrics = fontMetrics();
    const int64_t firstHour = (StartSeconds() / 3600 + 1) * 3600;
    for (int64_t t = firstHour; t <= now_; t += 3600) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(t);
        if (local.time().hour() % step != 0)
            continue;
        const double x = PointFor(t, 0).x();
        painter.setPen(palette().color(QPalette::Midlight));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        const QString text = local.toString(QStringLiteral("HH:mm"));
        const double half = metrics.horizontalAdvance(text) / 2.0;
        if (x - half < 0 || x + half > width())
            continue;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRectF(x - half, area.bottom() + kTickGap, 2 * half, metrics.height()),
                         Qt::AlignCenter, text);
    }
}

void CPlayersPlot::PaintMaximum(QPainter& painter, const QRectF& area) const {
    const int maximum = shown_.back().maxPlayers;
    if (maximum <= 0)
        return;
    const double y = PointFor(0, maximum).y();
    painter.setPen(QPen(palette().color(QPalette::Dark), 1, Qt::DashLine));
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
}

void CPlayersPlot::PaintPlayers(QPainter& painter) const {
    // One filled step line per stretch without gaps.
    QPainterPath line;
    QPainterPath fill;
    const double baseline = PointFor(0, 0).y();
    size_t begin = 0;
    auto closeStretch = [&](size_t end) {
        QPainterPath stretch;
        const PlotSample& first = shown_[begin];
        stretch.moveTo(PointFor(first.unixSeconds, first.players));
        for (size_t i = begin + 1; i < end; ++i) {
            const QPointF point = PointFor(shown_[i].unixSeconds, shown_[i].players);
            stretch.lineTo(point.x(), stretch.currentPosition().y());
            stretch.lineTo(point);
        }
        // A lone sample still shows as a short dash.
        if (end - begin == 1)
            stretch.lineTo(stretch.currentPosition() + QPointF(2, 0));
        line.addPath(stretch);
        QPainterPath area = stretch;
        area.lineTo(area.currentPosition().x(), baseline);
        area.lineTo(PointFor(first.unixSeconds, 0).x(), baseline);
        area.closeSubpath();
        fill.addPath(area);
    };
    for (size_t i = 1; i <= shown_.size(); ++i) {
        if (i == shown_.size() || shown_[i].unixSeconds - shown_[i - 1].unixSeconds > GAP_SECONDS) {
            closeStretch(i);
            begin = i;
        }
    }
    QColor shade = LINE_COLOUR;
    shade.setAlpha(60);
    painter.fillPath(fill, shade);
    painter.strokePath(line, QPen(LINE_COLOUR, 2));
}

void CPlayersPlot::PaintRoundChanges(QPainter& painter, const QRectF& area) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ROUND_COLOUR, 1, Qt::DotLine));
    for (const PlotSample& s : shown_) {
        if (!s.roundChanged)
            continue;
        const double x = PointFor(s.unixSeconds, 0).x();
        painter.setPen(QPen(ROUND_COLOUR, 1, Qt::DotLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        QPainterPath marker;
        marker.moveTo(x - 4, area.top());
        marker.lineTo(x + 4, area.top());
        marker.lineTo(x, area.top() + 6);
        marker.closeSubpath();
        painter.fillPath(marker, ROUND_COLOUR);
    }
}

} // namespace quillory::ui
