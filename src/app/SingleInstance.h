#pragma once
// One running program per user: the first start serves a local socket; a later start
// finds it, asks the running program to come to the front, and ends.
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;

class TSingleInstance {
 public:
  explicit TSingleInstance(QString name);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // The per-user name ("tavrin-" and the user id); TAVRIN_INSTANCE_NAME overrides it so
  // that tests can run apart from a real session.
  static QString DefaultName();

  // True when this is the first instance (it now serves raise requests). False when
  // another instance runs: it has been asked to come to the front.
  bool Acquire();

  std::function<void()> OnRaise;  // a later start asked this instance to come forward

 private:
  bool NotifyRunning();
  QString name_;
  std::unique_ptr<QLocalServer> server_;
};
