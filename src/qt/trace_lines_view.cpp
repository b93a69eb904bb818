#include "qt/trace_lines_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace {

constexpr int kMargin = 4;  // pixels left of the text

// A scroll bar that repaints only when it would look different. Past a few
// hundred lines a batch moves the slider by less than a pixel; a plain scroll
// bar repaints anyway, and its tall fills cost more than the new lines. Between
// hold() and release() it waits, so that a new range and the value that goes
// with it are judged together.
class QuietScrollBar : public QScrollBar {
  public:
    explicit QuietScrollBar(Qt::Orientation orientation) : QScrollBar(orientation) {}

    void hold() { m_held = true; }
    void release() {
        m_held = false;
        if (changedLook())
            update();
    }

  protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderOrientationChange || (!m_held && changedLook()))
            QScrollBar::sliderChange(change);
    }
    void resizeEvent(QResizeEvent* event) override {
        m_slider = QRect();  // laid out anew
        QScrollBar::resizeEvent(event);
    }

  private:
    // Notes the slider's place and whether either arrow is at its end.
    bool changedLook() {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect slider = style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                     QStyle::SC_ScrollBarSlider, this);
        const int ends = (value() == minimum() ? 1 : 0) | (value() == maximum() ? 2 : 0);
        const bool changed = slider != m_slider || ends != m_ends;
        m_slider = slider;
        m_ends = ends;
        return changed;
    }

    QRect m_slider;
    int m_ends = -1;
    bool m_held = false;
};

QuietScrollBar* quiet(QScrollBar* bar) {
    return static_cast<QuietScrollBar*>(bar);
}

}  // namespace

// Where the lines are drawn; the view does the work.
class TraceLinesView::Canvas : public QWidget {
  public:
    explicit Canvas(TraceLinesView& view) : m_view(view) {
        // Every paint fills what it draws, and scrolling moves drawn pixels.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::ClickFocus);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        m_view.paint(painter, event->rect());
    }
    void resizeEvent(QResizeEvent*) override { m_view.resized(); }
    void mousePressEvent(QMouseEvent* event) override { m_view.pressed(event); }
    void mouseMoveEvent(QMouseEvent* event) override { m_view.dragged(event); }
    void wheelEvent(QWheelEvent* event) override {
        const bool sideways =
            event->angleDelta().x() != 0 || event->modifiers() & Qt::ShiftModifier;
        QCoreApplication::sendEvent(sideways ? m_view.m_horizontal : m_view.m_vertical, event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!m_view.key(event))
            QWidget::keyPressEvent(event);
    }

  private:
    TraceLinesView& m_view;
};

TraceLinesView::TraceLinesView(size_t maxLines, QWidget* parent)
    : QFrame(parent),
      m_maxLines(maxLines),
      m_canvas(new Canvas(*this)),
      m_vertical(new QuietScrollBar(Qt::Vertical)),
      m_horizontal(new QuietScrollBar(Qt::Horizontal)) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics = fontMetrics();
    m_lineHeight = std::max(1, metrics.lineSpacing());
    m_charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    m_ascent = metrics.ascent();
    setFocusProxy(m_canvas);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth());
    grid->setSpacing(0);
    grid->addWidget(m_canvas, 0, 0);
    grid->addWidget(m_vertical, 0, 1);
    grid->addWidget(m_horizontal, 1, 0);
    QObject::connect(m_vertical, &QScrollBar::valueChanged,
                     [this](int top) { scrolledTo(top, m_left); });
    QObject::connect(m_horizontal, &QScrollBar::valueChanged,
                     [this](int left) { scrolledTo(m_top, left); });
    updateRanges();
}

void TraceLinesView::append(const std::vector<std::string>& lines) {
    if (lines.empty())
        return;
    const bool follow = following();
    const int64_t topBefore = m_dropped + m_top;
    const int64_t firstNew = m_dropped + lineCount();
    for (const std::string& text : lines) {
        m_lines.push_back(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        m_widest = std::max(m_widest, static_cast<int>(text.size()));
    }
    while (m_lines.size() > m_maxLines) {
        m_lines.pop_front();
        ++m_dropped;
    }
    // At the bottom when following, else on the operator's line while it is
    // kept. Dropped lines change the numbers, not what the canvas shows.
    const int bottom = std::max(0, lineCount() - visibleLines());
    const int64_t top = follow ? m_dropped + bottom : std::max(topBefore, m_dropped);
    m_placing = true;
    quiet(m_vertical)->hold();
    quiet(m_horizontal)->hold();
    updateRanges();
    m_vertical->setValue(static_cast<int>(top - m_dropped));
    quiet(m_vertical)->release();
    quiet(m_horizontal)->release();
    m_placing = false;
    m_top = m_vertical->value();
    const int64_t moved = top - topBefore;
    if (moved >= visibleLines() || moved < 0) {
        m_canvas->update();
        return;
    }
    if (moved > 0)
        m_canvas->scroll(0, static_cast<int>(-moved * m_lineHeight));
    // The new lines where they show: the rows moved into sight, or the empty
    // space below the last line.
    const int64_t row = firstNew - top;
    if (row <= visibleLines()) {
        const int y = static_cast<int>(std::max<int64_t>(0, row)) * m_lineHeight;
        m_canvas->update(0, y, m_canvas->width(), m_canvas->height() - y);
    }
}

void TraceLinesView::clear() {
    m_dropped += lineCount();
    m_lines.clear();
    m_widest = 0;
    m_selectionStart = m_selectionEnd = m_anchor = -1;
    updateRanges();
    m_canvas->update();
}

QString TraceLinesView::joined(int64_t from, int64_t to) const {
    QString text;
    for (int64_t i = std::max(from, m_dropped); i <= to && i - m_dropped < lineCount(); ++i) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += line(static_cast<int>(i - m_dropped));
    }
    return text;
}

QString TraceLinesView::text() const {
    return joined(m_dropped, m_dropped + lineCount() - 1);
}

QString TraceLinesView::selectedText() const {
    return m_selectionStart < 0 ? QString() : joined(m_selectionStart, m_selectionEnd);
}

QWidget* TraceLinesView::canvas() const {
    return m_canvas;
}

int TraceLinesView::topLine() const {
    return m_top;
}

bool TraceLinesView::following() const {
    return m_vertical->value() >= m_vertical->maximum();
}

void TraceLinesView::selectAll() {
    select(m_dropped, m_dropped + lineCount() - 1);
}

int TraceLinesView::visibleLines() const {
    return std::max(1, m_canvas->height() / m_lineHeight);
}

void TraceLinesView::updateRanges() {
    const int lines = visibleLines();
    m_vertical->setPageStep(lines);
    m_vertical->setRange(0, std::max(0, lineCount() - lines));
    const int width = m_widest * m_charWidth + 2 * kMargin;
    m_horizontal->setSingleStep(m_charWidth);
    m_horizontal->setPageStep(m_canvas->width());
    m_horizontal->setRange(0, std::max(0, width - m_canvas->width()));
    // Shown only while there is somewhere to scroll; that changes seldom.
    m_vertical->setVisible(m_vertical->maximum() > 0);
    m_horizontal->setVisible(m_horizontal->maximum() > 0);
}

void TraceLinesView::scrolledTo(int top, int left) {
    if (m_placing)
        return;
    const int dy = (m_top - top) * m_lineHeight;
    const int dx = m_left - left;
    m_top = top;
    m_left = left;
    m_canvas->scroll(dx, dy);
}

void TraceLinesView::resized() {
    const bool follow = following();
    updateRanges();
    if (follow)
        m_vertical->setValue(m_vertical->maximum());
}

void TraceLinesView::paint(QPainter& painter, const QRect& area) {
    painter.fillRect(area, palette().color(QPalette::Base));
    const int x = kMargin - m_left;
    for (int row = area.top() / m_lineHeight; row <= area.bottom() / m_lineHeight; ++row) {
        const int index = m_top + row;
        if (index >= lineCount())
            break;
        const int y = row * m_lineHeight;
        const int64_t number = m_dropped + index;
        const bool selected = number >= m_selectionStart && number <= m_selectionEnd;
        if (selected) {
            painter.fillRect(QRect(0, y, m_canvas->width(), m_lineHeight),
                             palette().color(QPalette::Highlight));
        }
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(x, y + m_ascent, line(index));
    }
}

int64_t TraceLinesView::lineAt(const QPoint& point) const {
    const int64_t last = m_dropped + std::max(0, lineCount() - 1);
    return std::clamp<int64_t>(m_dropped + m_top + point.y() / m_lineHeight, m_dropped, last);
}

void TraceLinesView::select(int64_t from, int64_t to) {
    if (lineCount() == 0)
        return;
    m_selectionStart = std::min(from, to);
    m_selectionEnd = std::max(from, to);
    m_canvas->update();
}

void TraceLinesView::pressed(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int64_t at = lineAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier) || m_anchor < 0)
        m_anchor = at;
    select(m_anchor, at);
}

void TraceLinesView::dragged(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && m_anchor >= 0)
        select(m_anchor, lineAt(event->position().toPoint()));
}

bool TraceLinesView::key(QKeyEvent* event) {
    struct Step {
        int key;
        QScrollBar* bar;
        QAbstractSlider::SliderAction action;
    };
    const Step steps[] = {
        {Qt::Key_Up, m_vertical, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Down, m_vertical, QAbstractSlider::SliderSingleStepAdd},
        {Qt::Key_PageUp, m_vertical, QAbstractSlider::SliderPageStepSub},
        {Qt::Key_PageDown, m_vertical, QAbstractSlider::SliderPageStepAdd},
        {Qt::Key_Home, m_vertical, QAbstractSlider::SliderToMinimum},
        {Qt::Key_End, m_vertical, QAbstractSlider::SliderToMaximum},
        {Qt::Key_Left, m_horizontal, QAbstractSlider::SliderSingleStepSub},
        {Qt::Key_Right, m_horizontal, QAbstractSlider::SliderSingleStepAdd},
    };
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return true;
    }
    if (event == QKeySequence::Copy) {
        const QString selected = selectedText();
        QGuiApplication::clipboard()->setText(selected.isEmpty() ? text() : selected);
        return true;
    }
    for (const Step& step : steps) {
        if (event->key() == step.key && event->modifiers() == Qt::NoModifier) {
            step.bar->triggerAction(step.action);
            return true;
        }
    }
    return false;
}
