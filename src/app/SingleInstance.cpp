#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace {
const QByteArray kRaiseMessage = "raise\n";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kLockTimeoutMs = 5000;
}  // namespace

TSingleInstance::TSingleInstance(QString name) : name_(std::move(name)) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::DefaultName() {
  QString custom = qEnvironmentVariable("TAVRIN_INSTANCE_NAME");
  if (!custom.isEmpty()) {
    return custom;
  }
  return QStringLiteral("tavrin-%1").arg(::getuid());
}

bool TSingleInstance::FindRunning(TKnock knock) {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kConnectTimeoutMs)) {
    return false;
  }
  if (knock == TKnock::kAsk) {
    socket.write(kRaiseMessage);
    socket.waitForBytesWritten(kConnectTimeoutMs);
  }
  socket.disconnectFromServer();
  return true;
}

std::unique_ptr<QLockFile> TSingleInstance::LockStart() const {
  // Two programs starting at the same moment must not both become the first.
  auto lock = std::make_unique<QLockFile>(QDir::temp().filePath(name_ + QStringLiteral(".lock")));
  lock->tryLock(kLockTimeoutMs);  // on a time-out, go on unguarded rather than hang
  return lock;
}

bool TSingleInstance::Acquire() {
  const auto lock = LockStart();
  if (FindRunning(TKnock::kAsk)) {
    return false;
  }
  Serve();
  return true;
}

void TSingleInstance::AcquireIfFree() {
  const auto lock = LockStart();
  if (!FindRunning(TKnock::kLook)) {
    Serve();
  }
}

void TSingleInstance::Serve() {
  QLocalServer::removeServer(name_);  // a socket left by a program that crashed
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name_)) {
    // Without the socket the rule cannot be kept; run all the same.
    server_.reset();
    return;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      auto take = [this, client] {
        if (client->readAll().contains(kRaiseMessage.trimmed()) && OnRaise) {
          OnRaise();
        }
      };
      QObject::connect(client, &QLocalSocket::readyRead, client, take);
      if (client->bytesAvailable() > 0) {
        take();  // arrived before the connection was seen
      }
    }
  });
}
