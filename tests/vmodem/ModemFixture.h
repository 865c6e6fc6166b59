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
  // Echo off, as the program runs it.
  void echoOff() { ASSERT_EQ(client_->command("ATE0"), "ATE0\r\r\nOK\r\n"); }
  void reopen() {
    client_->close();
    ASSERT_TRUE(
        modem_->waitFor([](const ModemStatus& s) { return s.resets >= 1; }, kAnswerTimeout));
    client_ = std::make_unique<PtyClient>(modem_->slavePath());
  }

  std::unique_ptr<VirtualModem> modem_;
  std::unique_ptr<PtyClient> client_;
};

}  // namespace vmodem::test
