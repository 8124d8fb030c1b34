#include "handover.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace picture::handover {

namespace {

// The request's arguments take a few dozen bytes; a message larger than this is not one.
constexpr size_t MaxMessage = 1024;
constexpr size_t DeclaredBytes = 8;

// A message of bytes with room for one file passed along.
struct MessageWithFile
{
    iovec part;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};

    MessageWithFile(void *bytes, size_t size) : part{bytes, size}
    {
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    MessageWithFile(const MessageWithFile &) = delete;
    MessageWithFile &operator=(const MessageWithFile &) = delete;
};

} // namespace

bool makePair(int ends[2])
{
    // Datagrams that keep their boundaries: each message arrives whole or not at all.
    return ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0;
}

bool send(int socket, int file, const Request &request)
{
    QByteArray payload;
    for (const QString &argument : request::arguments(request))
        payload += argument.toUtf8() + '\0';
    if (payload.isEmpty())
        payload += '\0'; // a message of no bytes would carry no file
    MessageWithFile out(payload.data(), size_t(payload.size()));
    cmsghdr *header = CMSG_FIRSTHDR(&out.message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &file, sizeof(int));
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &out.message, MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(payload.size());
}

std::optional<Received> receive(int socket)
{
    char bytes[MaxMessage];
    MessageWithFile in(bytes, sizeof bytes);
    msghdr &message = in.message;
    ssize_t got;
    do
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    int file = -1;
    for (cmsghdr *h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS &&
            h->cmsg_len == CMSG_LEN(sizeof(int)) && file < 0)
            std::memcpy(&file, CMSG_DATA(h), sizeof(int));
    }
    if (got <= 0 || file < 0 || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) {
        if (file >= 0)
            ::close(file);
        return std::nullopt;
    }
    QStringList arguments;
    for (const QByteArray &argument : QByteArray(bytes, qsizetype(got)).split('\0'))
        if (!argument.isEmpty())
            arguments.append(QString::fromUtf8(argument));
    return Received{file, request::fromArguments(arguments)};
}

void declare(int socket, qint64 pixels)
{
    char bytes[DeclaredBytes];
    qToLittleEndian(quint64(qMax<qint64>(pixels, 0)), bytes);
    while (::send(socket, bytes, sizeof bytes, MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

namespace {

void sendByte(int socket, char byte)
{
    while (::send(socket, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

} // namespace

void ready(int socket) { sendByte(socket, 'R'); }
void done(int socket) { sendByte(socket, 'D'); }

Reports readReports(int socket, qint64 maxPixels)
{
    Reports reports;
    // Without a control buffer, any file sent along is closed by the system, never received.
    char bytes[DeclaredBytes + 1];
    for (int i = 0; i < 64; ++i) { // a flood waits for the next turn
        const ssize_t got = ::recv(socket, bytes, sizeof bytes, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            reports.closed = true;
        if (got <= 0)
            break;
        if (got == 1 && bytes[0] == 'R') {
            reports.ready = true;
        } else if (got == 1 && bytes[0] == 'D') {
            reports.done = true;
        } else if (size_t(got) == DeclaredBytes) {
            const quint64 pixels = qFromLittleEndian<quint64>(bytes);
            reports.declared =
                qMax(reports.declared, qint64(qMin<quint64>(pixels, quint64(maxPixels))));
        }
    }
    return reports;
}

} // namespace picture::handover
