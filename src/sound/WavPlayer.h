#pragma once
// The WAV player: opens a PCM WAV file, plays it through the sound output and reports
// its length and position in milliseconds. While the output plays, the position is
// what the device has played and the end comes when its last sample has been played.
// Without an output (no sound server, no sink, silent output forced, or the server gone
// or stuck in the middle) it plays silently on the clock with the same position, pause,
// seek and end behaviour, and says so once through its notice. Nothing here waits for
// the sound server: the output hears from it through the UI thread's events, so
// Mode(), Position() and Length() answer at once from what was last heard. Play and
// Resume try the server again when the last output failed.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "sound/SoundOutput.h"
#include "sound/WavFormat.h"

enum class TPlayerMode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

class TWavPlayer : public QObject {
 public:
  using Clock = std::function<int64_t()>;  // monotonic milliseconds

  explicit TWavPlayer(QObject* parent = nullptr);
  ~TWavPlayer() override;

  // Process-wide: no sound is produced by players opened afterwards.
  static void SetSilentOutput(bool silent);
  static bool SilentOutput();

  void SetClock(Clock clock);  // tests drive time by hand
  // Told why the sound goes on silently, once for each failure of the open file's
  // output that differs from the one before (the monitor shows it).
  void SetNotice(std::function<void(const QString&)> notice);
  // Where files opened afterwards play; by default the sound server, unless silent.
  void SetOutputFactory(TSoundOutputFactory factory);

  void SetFileName(const QString& path) { fileName_ = path; }
  const QString& FileName() const { return fileName_; }
  void SetNoWait(bool noWait) { noWait_ = noWait; }  // opening never blocks here

  // Opens the named file; a file still open is closed first. False, with nothing
  // changed, when the file cannot be read or is not playable PCM WAV.
  bool Open();
  // The same for a file image already in memory.
  bool OpenImage(const QByteArray& image);
  // From the position to the end; false with no file open, or when the output refuses
  // the file's format or does not start (the file then stays open and stopped).
  bool Play();
  void Pause();           // while playing
  void Resume();          // a paused file goes on; otherwise plays from the position
  bool Seek(int64_t ms);  // refused outside 0..length; playing stops
  void Close();

  int64_t Length() const;
  int64_t Position();
  TPlayerMode Mode();
  bool Audible() const;  // an output plays the open file, or is getting ready to

 private:
  void CheckOutput();
  bool EnsureOutput();  // a new output when the last one failed; true when there is one
  bool StartRun();      // the output's run from the position, then playing
  void CheckEnd();
  int64_t Now() const;
  int64_t OffsetOf(int64_t ms) const;  // the byte of the samples at ms

  QString fileName_;
  bool noWait_ = false;
  Clock clock_;
  TSoundOutputFactory factory_;
  std::function<void(const QString&)> notice_;
  TOutputFault noticed_ = TOutputFault::kNone;  // the last failure told for the open file
  bool open_ = false;
  TWavInfo info_;
  QByteArray pcm_;
  TPlayerMode mode_ = TPlayerMode::NotReady;
  int64_t base_ = 0;       // position when playing last started, or the frozen position
  int64_t startedAt_ = 0;  // clock when playing last started, on the clock
  std::unique_ptr<TSoundOutput> output_;
  int64_t runStart_ = 0;  // position at which the output's current run started
  // The last position read from the output while it played, and when: the clock goes
  // on from there if the output fails.
  int64_t lastHeard_ = 0;
  int64_t lastHeardAt_ = 0;
};
