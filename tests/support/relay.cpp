#include "relay.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

struct Relay::State {
    QByteArray target;
    int listener = -1;
    int wake[2] = {-1, -1};
    quint16 port = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};

    std::mutex mutex; // guards what the test asks for
    QByteArray pattern;
    Cut mode = Cut::Silent;
    bool silent = false;
    bool resuming = false;

    struct Pair {
        int client = -1;
        int server = -1;
        bool dropAnswers = false;
        bool dead = false; // gone silent on its own: nothing read or passed, nothing closed
        QByteArray tail; // the end of what the client sent, for a pattern split in two reads
    };
    std::vector<Pair> pairs;

    int connectToServer() const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, target.constData(), sizeof address.sun_path);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    static bool writeAll(int fd, const char *data, qsizetype size)
    {
        while (size > 0) {
            const ssize_t written = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
            if (written <= 0)
                return false;
            data += written;
            size -= written;
        }
        return true;
    }

    static void closePair(Pair &pair)
    {
        if (pair.client >= 0)
            ::close(pair.client);
        if (pair.server >= 0)
            ::close(pair.server);
        pair.client = pair.server = -1;
    }

    // Bytes from the program: passed on, unless they carry the pattern asked for.
    bool fromClient(Pair &pair, const QByteArray &bytes)
    {
        {
            std::lock_guard lock(mutex);
            if (!pattern.isEmpty()) {
                const QByteArray seen = pair.tail + bytes;
                pair.tail = seen.right(pattern.size() - 1);
                if (seen.contains(pattern)) {
                    pattern.clear();
                    done = true;
                    switch (mode) {
                    case Cut::Silent:
                        silent = true;
                        return true; // held back, with everything after
                    case Cut::Link:
                        pair.dead = true;
                        return true;
                    case Cut::Answers:
                        pair.dropAnswers = true;
                        break;
                    case Cut::AnswersThenSilent:
                        const bool passed = writeAll(pair.server, bytes.constData(), bytes.size());
                        silent = true;
                        return passed;
                    }
                }
            }
        }
        return writeAll(pair.server, bytes.constData(), bytes.size());
    }

    void run()
    {
        char buffer[16384];
        while (!stop) {
            bool quiet;
            {
                std::lock_guard lock(mutex);
                // Every connection the silence holds is gone silent for good.
                for (Pair &pair : pairs)
                    pair.dead = pair.dead || silent;
                if (resuming) {
                    for (Pair &pair : pairs)
                        if (pair.dead)
                            closePair(pair);
                    std::erase_if(pairs, [](const Pair &pair) { return pair.client < 0; });
                    silent = resuming = false;
                }
                quiet = silent;
            }
            std::vector<pollfd> fds{{listener, POLLIN, 0}, {wake[0], POLLIN, 0}};
            // A silent network (or link) reads nothing more and closes nothing.
            std::vector<size_t> polled;
            if (!quiet)
                for (size_t p = 0; p < pairs.size(); ++p) {
                    if (pairs[p].dead)
                        continue;
                    polled.push_back(p);
                    fds.push_back({pairs[p].client, POLLIN, 0});
                    fds.push_back({pairs[p].server, POLLIN, 0});
                }
            if (::poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[1].revents) {
                char drained[64];
                (void)!::read(wake[0], drained, sizeof drained);
            }
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                // Taken in even when silent (as the system would), and then never passed on.
                const int server = client < 0 || quiet ? -1 : connectToServer();
                if (client >= 0 && (server >= 0 || quiet))
                    pairs.push_back(Pair{client, server, false, false, {}});
                else if (client >= 0)
                    ::close(client);
            }
            for (size_t i = 2; i + 1 < fds.size(); i += 2) {
                {
                    std::lock_guard lock(mutex);
                    if (silent)
                        break;
                }
                Pair &pair = pairs[polled[(i - 2) / 2]];
                bool open = true;
                if (fds[i].revents) {
                    const ssize_t read = ::recv(pair.client, buffer, sizeof buffer, 0);
                    open = read > 0 && fromClient(pair, QByteArray(buffer, read));
                }
                if (open && !pair.dead && fds[i + 1].revents) {
                    const ssize_t read = ::recv(pair.server, buffer, sizeof buffer, 0);
                    open = read > 0 && (pair.dropAnswers || writeAll(pair.client, buffer, read));
                }
                std::lock_guard lock(mutex);
                if (!open && !silent && !pair.dead)
                    closePair(pair);
            }
            std::erase_if(pairs, [](const Pair &pair) { return pair.client < 0; });
        }
    }

    void poke() { (void)!::write(wake[1], "x", 1); }
};

Relay::Relay(const QString &serverSocket)
    : state_(std::make_unique<State>())
{
    State &s = *state_;
    s.target = serverSocket.toLocal8Bit();
    s.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (s.listener < 0 || ::bind(s.listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(s.listener, 16) != 0 || ::getsockname(s.listener, reinterpret_cast<sockaddr *>(&address), &size) != 0
        || ::pipe2(s.wake, O_CLOEXEC) != 0)
        qFatal("relay: cannot listen");
    s.port = ntohs(address.sin_port);
    s.thread = std::thread([&s] { s.run(); });
}

Relay::~Relay()
{
    State &s = *state_;
    s.stop = true;
    s.poke();
    s.thread.join();
    for (State::Pair &pair : s.pairs)
        State::closePair(pair);
    ::close(s.listener);
    ::close(s.wake[0]);
    ::close(s.wake[1]);
}

quint16 Relay::port() const
{
    return state_->port;
}

void Relay::cutWhenClientSends(const QByteArray &pattern, Cut cut)
{
    std::lock_guard lock(state_->mutex);
    state_->pattern = pattern;
    state_->mode = cut;
}

void Relay::silence()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->silent = true;
        state_->done = true;
    }
    state_->poke();
}

void Relay::resume()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->resuming = true;
    }
    state_->poke();
    // Done when it returns: a connection opened next is passed.
    while (true) {
        {
            std::lock_guard lock(state_->mutex);
            if (!state_->resuming)
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool Relay::cut() const
{
    return state_->done;
}
