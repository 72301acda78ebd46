#include "QuitSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace quandrel {

namespace {

// [0] is written by the handler, [1] read by the event loop.
int pipeEnds[2] = {-1, -1};
std::vector<int> handled;

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full socket means a quit is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(std::initializer_list<int> signals, QObject* parent) : QObject(parent)
{
    if (pipeEnds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeEnds) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : signals) {
        if (::sigaction(signal, &action, nullptr) == 0)
            handled.push_back(signal);
    }
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignals);
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    // Back to the default actions before the socket the handler writes to goes away.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : handled)
        ::sigaction(signal, &action, nullptr);
    handled.clear();
    delete m_notifier;
    for (int& end : pipeEnds) {
        ::close(end);
        end = -1;
    }
}

void QuitSignals::readSignals()
{
    std::array<unsigned char, 16> bytes;
    const ssize_t n = ::read(pipeEnds[1], bytes.data(), bytes.size());
    if (n <= 0)
        return;
    Q_EMIT received(bytes[0]);
    QCoreApplication::quit();
}

} // namespace quandrel
