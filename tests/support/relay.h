#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// A relay between the program and the tests' server, as a network between a
// counter and its server: it listens on TCP at 127.0.0.1 and passes every
// connection's bytes both ways to the server's socket, in a thread of its own
// (while the program waits for an answer, the test's thread is held). On
// demand it fails as a network does:
// - Silent: from a moment on nothing passes, either way, on any connection, new
//   ones included, and nothing is closed either: what was sent is never
//   delivered, as when a cable is pulled;
// - Answers: one message reaches the server, and nothing the server sends on
//   that connection after it reaches the program;
// - Link: that one connection goes silent before the message reaches the server
//   (a link of its own lost), while other connections, new ones too, pass;
// - AnswersThenSilent: the message reaches the server, and then nothing passes
//   on any connection, as when the network goes down right after it.
// resume() lets traffic pass again, on new connections; connections opened
// after a Link cut pass all along.
class Relay
{
public:
    explicit Relay(const QString &serverSocket);
    ~Relay();
    quint16 port() const;

    enum class Cut { Silent, Answers, Link, AnswersThenSilent };
    // Cuts when the program next sends bytes that contain the pattern: for Silent
    // those bytes are held back too. A statement is sent as its text and a zero
    // byte: statement("COMMIT") matches COMMIT and not "... READ COMMITTED".
    void cutWhenClientSends(const QByteArray &pattern, Cut cut);
    static QByteArray statement(const char *text) { return QByteArray(text, qsizetype(qstrlen(text) + 1)); }
    // Goes silent now.
    void silence();
    // Passes traffic again, on new connections: those the silence (or a Link cut)
    // held are closed. Done when it returns.
    void resume();
    // True once a cut took effect.
    bool cut() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
