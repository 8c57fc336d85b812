#pragma once

#include <QString>
#include <functional>

// A watch over the program's TCP connections to a server, from a thread of its
// own. The program waits for a server's answer without a time limit of its own,
// so a link that goes silent (a network that drops everything, a server that
// hangs) would hold the counter for good. A connection that has been waiting
// for an answer longer than its deadline, with not a byte arriving meanwhile, is
// shut down: the call waiting for the answer then fails at once, as on a lost
// connection. Connections over a local socket are not watched.
namespace db::linkwatch {

// Watches a connection until unwatch(): its socket (the descriptor, as open now)
// and whether a request on it waits for its answer, asked from the watch's
// thread (reading the connection's state without changing it). A connection
// watched before is unwatched first. The connection must be unwatched before it
// is closed.
void watch(const QString &connectionName, int socket, std::function<bool()> waiting, int deadlineMilliseconds);
// Stops watching: before the connection is closed, or opened again.
void unwatch(const QString &connectionName);
// True when the watch shut the connection down because its server did not answer.
bool cut(const QString &connectionName);

} // namespace db::linkwatch
