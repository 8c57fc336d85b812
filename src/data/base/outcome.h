#pragma once

#include <QString>

// What became of a check or a write: done, refused by a rule of the program
// (with the clerk's message), or failed in the database (with the message that
// names the file or server and the cause). A failure is never told as a refusal.
// A write that is done may carry a notice the clerk must hear all the same: how
// it came to be done (stored by an earlier try whose answer was lost).
class Outcome
{
public:
    Outcome() = default;
    static Outcome ok() { return Outcome(); }
    static Outcome refused(const QString &message) { return Outcome(Kind::Refused, message); }
    static Outcome failed(const QString &message) { return Outcome(Kind::Failed, message); }
    static Outcome okWithNotice(const QString &notice)
    {
        Outcome done;
        done.notice_ = notice;
        return done;
    }

    bool isOk() const { return kind_ == Kind::Ok; }
    bool isRefused() const { return kind_ == Kind::Refused; }
    bool isFailed() const { return kind_ == Kind::Failed; }
    // The refusal or the failure, for the operator; empty when done.
    const QString &message() const { return message_; }
    // What the clerk hears of a write that is done; empty for most.
    const QString &notice() const { return notice_; }

private:
    enum class Kind { Ok, Refused, Failed };
    Outcome(Kind kind, const QString &message) : kind_(kind), message_(message) {}
    Kind kind_ = Kind::Ok;
    QString message_;
    QString notice_;
};
