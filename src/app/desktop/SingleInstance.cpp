#include "SingleInstance.h"

#include "InstanceSocketFolder.h"
#include "core/InstanceMessages.h"
#include "core/LineBuffer.h"

#include <QLocalSocket>

#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ambrel {

namespace {

namespace Messages = core::InstanceMessages;

constexpr int answerMilliseconds = 1000;

// The process at the other end of a connected local socket runs as this user. Anyone else
// could otherwise pose as the app, or make it show its window.
bool peerIsThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return descriptor >= 0 &&
           ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &size) == 0 &&
           size == sizeof credentials && credentials.uid == ::geteuid();
}

bool socketFileIsThisUsers(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == ::geteuid();
}

} // namespace

std::optional<std::string> SingleInstance::socketPath() {
    const auto folder = InstanceSocketFolder::prepare(std::getenv("XDG_RUNTIME_DIR"));
    if (!folder) {
        return std::nullopt;
    }
    return (*folder / "org.ambrel.Ambrel").string();
}

SingleInstance::Contact SingleInstance::contact(const std::string& path,
                                                std::optional<long long> except) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path));
    if (!socket.waitForConnected(answerMilliseconds)) {
        // Refused or missing: nobody listens. A full backlog means somebody does.
        return socket.error() == QLocalSocket::SocketTimeoutError ? Contact::busy : Contact::nobody;
    }
    if (!socketFileIsThisUsers(path) || !peerIsThisUser(socket.socketDescriptor())) {
        return Contact::stranger;
    }
    // The instance introduces itself with its process id.
    core::LineBuffer buffer(Messages::maximumLineLength);
    std::optional<std::string> hello;
    while (!(hello = buffer.nextLine())) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(answerMilliseconds)) {
            return Contact::busy;
        }
        if (!buffer.append(socket.readAll().toStdString())) {
            return Contact::busy;
        }
    }
    const auto pid = Messages::parseGreeting(*hello);
    if (!pid) {
        return Contact::busy;
    }
    if (except && *pid == *except) {
        return Contact::excepted;
    }
    socket.write(QByteArray::fromStdString(std::string(Messages::showHistory) + "\n"));
    return socket.waitForBytesWritten(answerMilliseconds) ? Contact::handedOff : Contact::busy;
}

bool SingleInstance::handOff(std::optional<long long> except) {
    const auto path = socketPath();
    return path && contact(*path, except) == Contact::handedOff;
}

SingleInstance::Claim SingleInstance::claim(std::function<void()> onShowHistory) {
    onShowHistory_ = std::move(onShowHistory);
    const auto socket = socketPath();
    if (!socket) {
        return Claim::failed;
    }
    const QString path = QString::fromStdString(*socket);
    // Asked before listening: with its access options, QLocalServer renames its socket over any
    // file in the way, so listen() alone would take over a live instance.
    std::error_code error;
    if (std::filesystem::symlink_status(*socket, error).type() !=
        std::filesystem::file_type::not_found) {
        switch (contact(*socket, std::nullopt)) {
        case Contact::handedOff:
            return Claim::handedOff;
        case Contact::busy:
        case Contact::excepted:
            return Claim::busy; // alive: never taken over
        case Contact::stranger:
            return Claim::failed; // not ours to remove, nor to talk to
        case Contact::nobody:
            // Nobody listens: a crashed instance left its socket behind.
            QLocalServer::removeServer(path);
            break;
        }
    }
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        return Claim::failed;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            if (!peerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto buffer = std::make_shared<core::LineBuffer>(Messages::maximumLineLength);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
                if (!buffer->append(socket->readAll().toStdString())) {
                    socket->abort(); // a line that long is nobody's request
                    socket->deleteLater();
                    return;
                }
                while (const auto line = buffer->nextLine()) {
                    if (*line == Messages::showHistory && onShowHistory_) {
                        onShowHistory_();
                    }
                }
            });
            const auto hello = Messages::greeting(static_cast<long long>(::getpid())) + "\n";
            socket->write(hello.data(), static_cast<qint64>(hello.size()));
            socket->flush();
        }
    });
    return Claim::claimed;
}

} // namespace ambrel
