#pragma once
// The WAV player: opens a PCM WAV file, plays it through the default sound output and
// reports its length and position in milliseconds. Position and end follow the clock,
// so where there is no sound output (or silent output is forced) it plays silently with
// the same position, pause, seek and end behaviour.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "modem/WavFormat.h"

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

  void SetFileName(const QString& path) { fileName_ = path; }
  const QString& FileName() const { return fileName_; }
  void SetNoWait(bool noWait) { noWait_ = noWait; }  // opening never blocks here

  // Opens the named file; a file still open is closed first. False, with nothing
  // changed, when the file cannot be read or is not playable PCM WAV.
  bool Open();
  // The same for a file image already in memory.
  bool OpenImage(const QByteArray& image);
  bool Play();            // from the position to the end; false with no file open
  void Pause();           // while playing
  void Resume();          // a paused file goes on; otherwise plays from the position
  bool Seek(int64_t ms);  // refused outside 0..length; playing stops
  void Close();

  int64_t Length() const;
  int64_t Position();
  TPlayerMode Mode();
  bool Audible() const;  // sound really goes to an output device

 private:
  struct Sound;
  void CheckEnd();
  int64_t Now() const;
  void StartSound();
  void StopSound();

  QString fileName_;
  bool noWait_ = false;
  Clock clock_;
  bool open_ = false;
  TWavInfo info_;
  QByteArray pcm_;
  TPlayerMode mode_ = TPlayerMode::NotReady;
  int64_t base_ = 0;       // position when playing last started, or the frozen position
  int64_t startedAt_ = 0;  // clock when playing last started
  std::unique_ptr<Sound> sound_;
};
