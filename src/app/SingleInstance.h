#pragma once
// One running program per user: the first start serves a local socket; a later start
// finds it, asks the running program to come to the front, and ends. A start that skips
// the check (ONIDE) runs beside a running one, and serves the socket when none does, so
// that a later ordinary start still finds a window to bring forward.
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

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
  // Without the check: serves raise requests when no other instance does, and leaves a
  // running one alone (neither asked nor displaced).
  void AcquireIfFree();

  std::function<void()> OnRaise;  // a later start asked this instance to come forward

 private:
  enum class TKnock { kAsk, kLook };
  // Whether another instance serves the name; kAsk also asks it to come to the front.
  bool FindRunning(TKnock knock);
  void Serve();
  std::unique_ptr<QLockFile> LockStart() const;  // held while the start decides
  QString name_;
  std::unique_ptr<QLocalServer> server_;
};
