// The port selection dialog on pseudo-terminals standing in for serial ports.
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <map>
#include <optional>
#include <string>

#include "serial/PortMap.h"
#include "serial/SerialPort.h"
#include "serial/ui/ComSelectForm.h"

namespace {

// A pseudo-terminal whose slave side stands for a serial port.
struct Pty {
  Pty() {
    char name[256] = {};
    ::openpty(&master, &slave, name, nullptr, nullptr);
    path = name;
  }
  ~Pty() {
    ::close(master);
    ::close(slave);
  }
  int master = -1, slave = -1;
  std::string path;
};

class ComSelectFormTest : public ::testing::Test {
 protected:
  ComSelectFormTest() {
    SetPortPathSource([this](int n) -> std::optional<std::string> {
      auto it = ports.find(n);
      if (it != ports.end()) return it->second;
      return "/nonexistent/tavrin-test-port-" + std::to_string(n);
    });
    InstallComSelectPrompt();
  }
  ~ComSelectFormTest() override {
    SetPortPathSource(nullptr);
    TCustomSerialPort::SetPortPrompt(nullptr);
  }

  // Runs `act` on the dialog once it is shown modally.
  static void WhenShown(std::function<void(TComSelectForm&)> act) {
    QTimer::singleShot(0, [act] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* form = dynamic_cast<TComSelectForm*>(w); form && form->isVisible()) {
          act(*form);
          return;
        }
      }
      ADD_FAILURE() << "dialog not shown";
    });
  }

  Pty com1, com4, com12;
  std::map<int, std::string> ports;
};

TEST_F(ComSelectFormTest, ListsExistingPortsBusyOnesIncludedAndSelectsTheFirst) {
  ports = {{1, com1.path}, {4, com4.path}};
  TSerialPort holder;  // port 4 is held by someone else
  holder.SetComNumber(4);
  holder.SetOpen(true);

  TComSelectForm form;
  EXPECT_EQ(form.windowTitle(), "Select Port");
  EXPECT_EQ(form.size(), QSize(220, 131));
  EXPECT_EQ(form.Label1->text(), "The configured serial port is not valid.");
  EXPECT_EQ(form.Label2->text(), "Please choose another port.");
  EXPECT_EQ(form.OkBtn->text(), "OK");
  EXPECT_EQ(form.AbortBtn->text(), "Cancel");
  EXPECT_TRUE(form.OkBtn->isDefault());
  ASSERT_EQ(form.PortsComboBox->count(), 2);
  EXPECT_EQ(form.PortsComboBox->itemText(0), "COM1");
  EXPECT_EQ(form.PortsComboBox->itemText(1), "COM4");
  EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
  EXPECT_EQ(form.SelectedPort(), 1);
  // The check held nothing open: port 1 is free.
  TSerialPort other;
  other.SetComNumber(1);
  other.SetOpen(true);
  EXPECT_TRUE(other.Open());
}

TEST_F(ComSelectFormTest, TwoDigitPortsReadBackAndTheListIsRebuiltEachTime) {
  ports = {{12, com12.path}};
  {
    TComSelectForm form;
    ASSERT_EQ(form.PortsComboBox->count(), 1);
    EXPECT_EQ(form.PortsComboBox->itemText(0), "COM12");
    EXPECT_EQ(form.SelectedPort(), 12);
  }
  ports[1] = com1.path;
  TComSelectForm again;
  EXPECT_EQ(again.PortsComboBox->count(), 2);
}

TEST_F(ComSelectFormTest, CancelFailsTheOpenWithNoPortSelected) {
  ports = {{1, com1.path}};
  TSerialPort port;
  port.SetAutoOpen(false);
  WhenShown([](TComSelectForm& form) { form.AbortBtn->click(); });
  EXPECT_THROW(port.SetOpen(true), ENoPortSelected);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.ComNumber(), 0);
}

TEST_F(ComSelectFormTest, OkOpensTheChosenPort) {
  ports = {{1, com1.path}, {4, com4.path}};
  TSerialPort port;
  port.SetAutoOpen(false);
  WhenShown([](TComSelectForm& form) {
    form.PortsComboBox->setCurrentIndex(1);
    form.OkBtn->click();
  });
  port.SetOpen(true);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.ComNumber(), 4);
}

TEST_F(ComSelectFormTest, ChoosingAPortThatIsStillHeldFailsWithAlreadyOpen) {
  ports = {{4, com4.path}};
  TSerialPort holder;
  holder.SetComNumber(4);
  holder.SetOpen(true);
  TSerialPort port;
  WhenShown([](TComSelectForm& form) { form.OkBtn->click(); });
  EXPECT_THROW(port.SetOpen(true), EAlreadyOpen);
}

TEST_F(ComSelectFormTest, WithNoPortsOnlyCancelIsOffered) {
  TComSelectForm form;
  EXPECT_EQ(form.PortsComboBox->count(), 0);
  EXPECT_EQ(form.SelectedPort(), 0);
  EXPECT_FALSE(form.OkBtn->isEnabled());
}

}  // namespace
