#include "SingleInstance.h"

#include <QLocalSocket>

#include <cstdlib>
#include <unistd.h>

namespace ambrel {

namespace {

constexpr int answerMilliseconds = 1000;
const QByteArray request = "showHistory\n";

} // namespace

std::string SingleInstance::socketPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        return std::string(runtime) + "/org.ambrel.Ambrel";
    }
    return "/tmp/org.ambrel.Ambrel-" + std::to_string(::getuid());
}

SingleInstance::Contact SingleInstance::contact(std::optional<long long> except) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(socketPath()));
    if (!socket.waitForConnected(answerMilliseconds)) {
        // Refused or missing: nobody listens. A full backlog means somebody does.
        return socket.error() == QLocalSocket::SocketTimeoutError ? Contact::busy : Contact::nobody;
    }
    // The instance introduces itself with its process id.
    if (!socket.canReadLine() && !socket.waitForReadyRead(answerMilliseconds)) {
        return Contact::busy;
    }
    const QByteArray hello = socket.readLine().trimmed();
    bool ok = false;
    const long long pid = hello.startsWith("Ambrel ") ? hello.mid(7).toLongLong(&ok) : 0;
    if (!ok) {
        return Contact::busy;
    }
    if (except && pid == *except) {
        return Contact::excepted;
    }
    socket.write(request);
    return socket.waitForBytesWritten(answerMilliseconds) ? Contact::handedOff : Contact::busy;
}

bool SingleInstance::handOff(std::optional<long long> except) {
    return contact(except) == Contact::handedOff;
}

SingleInstance::Claim SingleInstance::claim(std::function<void()> onShowHistory) {
    onShowHistory_ = std::move(onShowHistory);
    const QString path = QString::fromStdString(socketPath());
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        if (server_->serverError() != QAbstractSocket::AddressInUseError) {
            return Claim::failed;
        }
        switch (contact(std::nullopt)) {
        case Contact::handedOff:
            return Claim::handedOff;
        case Contact::busy:
        case Contact::excepted:
            return Claim::busy; // alive: never taken over
        case Contact::nobody:
            break;
        }
        // Nobody listens: a crashed instance left its socket behind.
        QLocalServer::removeServer(path);
        if (!server_->listen(path)) {
            return Claim::failed;
        }
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == request && onShowHistory_) {
                        onShowHistory_();
                    }
                }
            });
            socket->write("Ambrel " + QByteArray::number(static_cast<qint64>(::getpid())) + "\n");
            socket->flush();
        }
    });
    return Claim::claimed;
}

} // namespace ambrel
