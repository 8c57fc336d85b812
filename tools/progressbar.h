#pragma once

// The progress of a long tool run on the terminal (standard error).
#include <QElapsedTimer>
#include <QString>
#include <QTextStream>
#include <unistd.h>

// A one-line bar on the terminal, redrawn at most every tenth of a second.
class ProgressBar
{
public:
    // plainLines: where standard error is no terminal, each new step as a line of its own.
    explicit ProgressBar(bool plainLines = false)
        : shown_(isatty(STDERR_FILENO) == 1)
        , plain_(plainLines && !shown_)
    {
        clock_.start();
    }
    ~ProgressBar() { clear(); }

    void show(const QString &step, qint64 done, qint64 total)
    {
        if (plain_ && step != step_) {
            QTextStream(stderr) << step << " ...\n" << Qt::flush;
            step_ = step;
        }
        if (!shown_ || total <= 0 || (step == step_ && clock_.elapsed() < 100 && done < total))
            return;
        step_ = step;
        clock_.restart();
        constexpr int width = 30;
        const int filled = int(qMin<qint64>(width, done * width / total));
        QTextStream err(stderr);
        err << '\r' << step.leftJustified(18) << " [" << QString(filled, u'#') << QString(width - filled, u'.') << "] "
            << done << '/' << total << "   " << Qt::flush;
        drawn_ = true;
    }

    void clear()
    {
        if (drawn_)
            QTextStream(stderr) << '\r' << QString(72, u' ') << '\r' << Qt::flush;
        drawn_ = false;
    }

private:
    bool shown_;
    bool plain_;
    bool drawn_ = false;
    QString step_;
    QElapsedTimer clock_;
};

