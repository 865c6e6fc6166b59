#pragma once
// The recorder rig on a virtual voice modem over a pseudo-terminal, on COM1.
#include <QFile>
#include <QTest>

#include "common/RecorderRig.h"
#include "common/RecorderStandIns.h"
#include "serial/PortMap.h"
#include "vmodem/VirtualModem.h"

inline constexpr int kModemPort = 1;
inline constexpr int kWaitMs = 10000;

struct ModemRecorderRig : RecorderRig {
  vmodem::VirtualModem modem;

  explicit ModemRecorderRig(vmodem::Options options = {}) : modem(std::move(options)) {
    modem.start();
    SetPortPathSource([this](int n) -> std::optional<std::string> {
      if (n == kModemPort) return modem.slavePath();
      return std::nullopt;
    });
    UseVirtualModemProfile(kModemPort);
    link.TimeoutFactor = 200;
  }

  ~ModemRecorderRig() {
    if (link.PortIsOpen) panel->Recorder.Off1Click();
    SetPortPathSource(nullptr);
  }

  // Opens the port and turns the echo off, as the start sequence does.
  void OpenModem() {
    panel->Recorder.On1Click();
    ASSERT_TRUE(link.PortIsOpen) << messages.join('|').toStdString();
    ASSERT_TRUE(modem.waitFor([](const vmodem::ModemStatus& s) { return s.portOpen; },
                              std::chrono::milliseconds(kWaitMs)));
    // The echo is still on: the answer holds the echoed command, so take it whole.
    QByteArray answer;
    ASSERT_EQ(link.SendAndRead("ate0", answer), 0);
    ASSERT_FALSE(modem.status().echo);
  }

  bool WaitForBytes(int32_t n) {
    return QTest::qWaitFor([&] { return link.RecordedBytes >= n; }, kWaitMs);
  }

  QByteArray SavedFile() {
    QFile f(QStringLiteral("wav/") + currentFileName + QStringLiteral(".wav"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};

inline vmodem::Options PatternLine(const std::string& profile, const std::string& pattern) {
  vmodem::Options o;
  o.profile = profile;
  o.line.kind = vmodem::LineOptions::Kind::Pattern;
  o.line.pattern = pattern;
  return o;
}
