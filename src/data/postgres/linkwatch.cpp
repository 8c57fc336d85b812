#include "data/postgres/linkwatch.h"

#include <QHash>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace db::linkwatch {

#if defined(Q_OS_LINUX)
namespace {

using Clock = std::chrono::steady_clock;

// How often the connections are looked at: the deadline is kept to within this.
constexpr std::chrono::milliseconds kLook{200};

struct Watched {
    int socket = -1;              // a descriptor of the watch's own on the connection's socket
    std::function<bool()> waiting;
    std::chrono::milliseconds deadline{0};
    bool cut = false;
    // The wait under way, as first seen, and the bytes received by then.
    std::optional<Clock::time_point> since;
    quint64 received = 0;
};

// The connections watched, and the thread that watches them. The thread holds
// its own descriptor of each socket, so that it never acts on a descriptor number
// that the connection's library closed and the system gave to something else.
class Watch
{
public:
    void add(const QString &name, int socket, std::function<bool()> waiting, int deadline)
    {
        const int own = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
        if (own < 0)
            return;
        std::lock_guard lock(mutex_);
        drop(name);
        Watched watched;
        watched.socket = own;
        watched.waiting = std::move(waiting);
        watched.deadline = std::chrono::milliseconds(deadline);
        watched_.insert(name, std::move(watched));
        if (!thread_.joinable())
            thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }
    void remove(const QString &name)
    {
        std::lock_guard lock(mutex_);
        drop(name);
    }
    bool isCut(const QString &name)
    {
        std::lock_guard lock(mutex_);
        const auto found = watched_.constFind(name);
        return found != watched_.constEnd() && found->cut;
    }
    ~Watch()
    {
        if (thread_.joinable()) {
            thread_.request_stop();
            thread_.join();
        }
        for (const Watched &watched : std::as_const(watched_))
            ::close(watched.socket);
    }

private:
    void drop(const QString &name)
    {
        const auto found = watched_.find(name);
        if (found == watched_.end())
            return;
        ::close(found->socket);
        watched_.erase(found);
    }

    void look(Watched &watched)
    {
        if (watched.cut || !watched.waiting()) {
            watched.since.reset();
            return;
        }
        tcp_info info{};
        socklen_t size = sizeof info;
        if (::getsockopt(watched.socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0
            || size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
            return;
        // Bytes arriving (a large answer, a notice) start the deadline anew.
        const Clock::time_point now = Clock::now();
        if (!watched.since || info.tcpi_bytes_received != watched.received) {
            watched.since = now;
            watched.received = info.tcpi_bytes_received;
            return;
        }
        if (now - *watched.since >= watched.deadline) {
            ::shutdown(watched.socket, SHUT_RDWR);
            watched.cut = true;
        }
    }

    void run(std::stop_token stop)
    {
        std::unique_lock lock(mutex_);
        while (!stop.stop_requested()) {
            wake_.wait_for(lock, stop, kLook, [] { return false; });
            for (Watched &watched : watched_)
                look(watched);
        }
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    QHash<QString, Watched> watched_;
    std::jthread thread_; // last: stopped before the rest goes
};

Watch &theWatch()
{
    static Watch watch;
    return watch;
}

bool isTcp(int socket)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    return ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size) == 0
        && (address.ss_family == AF_INET || address.ss_family == AF_INET6);
}

} // namespace

void watch(const QString &connectionName, int socket, std::function<bool()> waiting, int deadlineMilliseconds)
{
    unwatch(connectionName);
    if (socket >= 0 && deadlineMilliseconds > 0 && isTcp(socket))
        theWatch().add(connectionName, socket, std::move(waiting), deadlineMilliseconds);
}

void unwatch(const QString &connectionName)
{
    theWatch().remove(connectionName);
}

bool cut(const QString &connectionName)
{
    return theWatch().isCut(connectionName);
}

#else
// Elsewhere the system's own TCP timeouts (keepalives, tcp_user_timeout) are all there is.
void watch(const QString &, int, std::function<bool()>, int) {}
void unwatch(const QString &) {}
bool cut(const QString &) { return false; }
#endif

} // namespace db::linkwatch
