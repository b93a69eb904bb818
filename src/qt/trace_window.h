#pragma once
// The "Driver calls" window: the call trace's lines, live, newest last. It
// only reads the trace's feed, on a short timer and in batches, so a busy
// loop costs the window one append per batch rather than one per call. It
// follows the newest line unless the operator has scrolled up, keeps the
// last TraceFeed::kLines lines, and never takes the focus when lines arrive.
//
// While it is open the trace captures into the feed; closing it stops that
// unless a GPIB_TRACE file keeps the trace on anyway.

#include <QString>
#include <QWidget>
#include <cstdint>

class CallTrace;
class QLabel;
class QTimer;
class TraceLinesView;

class TraceWindow : public QWidget {
  public:
    TraceWindow(CallTrace& trace, QWidget* owner = nullptr);
    ~TraceWindow() override;

    // Shows it beside owner (the first time) and brings it to the front.
    void open();
    // Adds the lines the feed gathered since the last look (the timer does this).
    void appendPending();
    void clear();
    // The selection, or every line when nothing is selected, to the clipboard.
    void copy();
    // Writes every line to path; on failure returns the reason, else empty.
    QString saveTo(const QString& path) const;

    TraceLinesView* lines() const { return m_lines; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void save();
    void placeBeside(const QWidget* owner);
    void showWhereLinesGo();

    CallTrace& m_trace;
    TraceLinesView* m_lines;
    QLabel* m_where;
    QTimer* m_poll;
    uint64_t m_cursor = 0;
    bool m_placed = false;
};

// F12 anywhere in mainWindow opens the driver-call window for trace (made on
// first use, owned by mainWindow).
void InstallTraceWindowKey(QWidget* mainWindow, CallTrace& trace);
