#pragma once
// The lines of the driver-call window: a read-only list of one-line texts
// that is cheap to grow at the bottom. A text document relays out and redraws
// all it shows whenever a line is added, and a scroll area repaints its frame
// and scroll bars whenever a range changes; this view moves what is already
// drawn, draws only the lines that came into sight, and repaints a scroll bar
// only when its slider moves by a pixel. A batch of new lines then costs
// about as much as drawing those lines.
//
// It keeps at most maxLines (the oldest go first), follows the newest line
// while it is scrolled to the bottom, and otherwise keeps the operator's lines
// where they are. Whole lines are selected with the mouse (Shift extends) or
// Ctrl+A; Ctrl+C copies them.

#include <QFrame>
#include <QString>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class QScrollBar;

class TraceLinesView : public QFrame {
  public:
    explicit TraceLinesView(size_t maxLines, QWidget* parent = nullptr);

    void append(const std::vector<std::string>& lines);
    void clear();

    int lineCount() const { return static_cast<int>(m_lines.size()); }
    const QString& line(int index) const { return m_lines[static_cast<size_t>(index)]; }
    // Every line, or the selected ones (empty when none), one per text line.
    QString text() const;
    QString selectedText() const;
    // The line drawn at the top, and whether the view stays on the newest.
    int topLine() const;
    bool following() const;
    void selectAll();

    QScrollBar* verticalScrollBar() const { return m_vertical; }
    QWidget* canvas() const;

  private:
    class Canvas;
    friend class Canvas;

    void paint(QPainter& painter, const QRect& area);
    void pressed(QMouseEvent* event);
    void dragged(QMouseEvent* event);
    bool key(QKeyEvent* event);
    void resized();

    int visibleLines() const;
    void updateRanges();
    void scrolledTo(int top, int left);
    // The line under a point of the canvas (clamped to the lines kept).
    int64_t lineAt(const QPoint& point) const;
    void select(int64_t from, int64_t to);
    QString joined(int64_t from, int64_t to) const;

    const size_t m_maxLines;
    std::deque<QString> m_lines;
    // Lines count from the first one ever appended, so the top line and the
    // selection stay on their lines while older ones are dropped.
    int64_t m_dropped = 0;
    int m_widest = 0;  // characters of the longest line kept so far
    int m_top = 0;     // the scroll positions the canvas shows
    int m_left = 0;
    bool m_placing = false;  // append() moves the canvas itself
    int64_t m_selectionStart = -1, m_selectionEnd = -1, m_anchor = -1;
    int m_lineHeight;
    int m_charWidth;
    int m_ascent;
    Canvas* m_canvas;
    QScrollBar* m_vertical;
    QScrollBar* m_horizontal;
};
