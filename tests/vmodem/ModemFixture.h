#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "PtyClient.h"
#include "vmodem/VirtualModem.h"

namespace vmodem::test {

// One modem on its pty, answering from its thread, and the computer's end of the line.
class ModemTest : public ::testing::Test {
 protected:
  void startModem(Options options) {
    modem_ = std::make_unique<VirtualModem>(std::move(options));
    modem_->start();
    client_ = std::make_unique<PtyClient>(modem_->slavePath());
  }
  void startModem(const std::string& profile) {
    Options options;
    options.profile = profile;
    startModem(options);
  }
  // A final result as the running modem frames it.
  std::string result(const std::string& code) const {
    const Profile& p = modem_->profile();
    std::string blank;
    for (int i = 0; i < p.resultBlankLines; ++i) blank += "\r\n";
    return blank + (p.framing == Framing::Ess ? "\n\r\n" + code + "\r" : "\r\n" + code + "\r\n");
  }
  // Echo off, as the program runs it.
  void echoOff() { ASSERT_EQ(client_->command("ATE0"), "ATE0\r" + result("OK")); }
  void reopen() {
    const long closes = modem_->status().closes;
    client_->close();
    ASSERT_TRUE(modem_->waitFor([closes](const ModemStatus& s) { return s.closes > closes; },
                                kAnswerTimeout));
    client_ = std::make_unique<PtyClient>(modem_->slavePath());
  }

  std::unique_ptr<VirtualModem> modem_;
  std::unique_ptr<PtyClient> client_;
};

}  // namespace vmodem::test
