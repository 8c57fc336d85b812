#pragma once

#include <QString>

// What became of a check or a write: done, refused by a rule of the program
// (with the clerk's message), or failed in the database (with the message that
// names the file or server and the cause). A failure is never told as a refusal.
class Outcome
{
public:
    Outcome() = default;
    static Outcome ok() { return Outcome(); }
    static Outcome refused(const QString &message) { return Outcome(Kind::Refused, message); }
    static Outcome failed(const QString &message) { return Outcome(Kind::Failed, message); }

    bool isOk() const { return kind_ == Kind::Ok; }
    bool isRefused() const { return kind_ == Kind::Refused; }
    bool isFailed() const { return kind_ == Kind::Failed; }
    // The refusal or the failure, for the operator; empty when done.
    const QString &message() const { return message_; }

private:
    enum class Kind { Ok, Refused, Failed };
    Outcome(Kind kind, const QString &message) : kind_(kind), message_(message) {}
    Kind kind_ = Kind::Ok;
    QString message_;
};
