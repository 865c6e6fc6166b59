// tavrin-vmodem: a voice modem on a pseudo-terminal, for the demo and for trying the
// program without a modem.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>

#include "vmodem/CommandLine.h"

int main(int argc, char** argv) {
  using namespace vmodem;
  const CommandLine cl = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!cl.error.empty()) {
    std::cerr << "tavrin-vmodem: " << cl.error << "\n" << usage();
    return 2;
  }
  if (cl.help) {
    std::cout << usage();
    return 0;
  }
  if (cl.listProfiles) {
    for (const auto& name : Profile::shippedNames()) {
      try {
        std::cout << name << "\t" << Profile::load(name).description << "\n";
      } catch (const std::exception& e) {
        std::cout << name << "\t(" << e.what() << ")\n";
      }
    }
    return 0;
  }

  // The signals are taken by sigwait below, not by a handler: block them before the
  // modem thread starts so that it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    VirtualModem modem(cl.options);
    modem.start();
    std::cout << modem.slavePath() << std::endl;
    if (!modem.linkPath().empty())
      std::cerr << "tavrin-vmodem: " << modem.linkPath() << " -> " << modem.slavePath()
                << " (profile " << cl.options.profile << ")" << std::endl;
    // Ends on a signal, or when the modem has been unplugged for good (a fault asked for).
    const bool replugs = cl.options.faults.replugAfterSeconds >= 0;
    const timespec recheck{0, 250'000'000};
    bool unplugged = false;
    while (sigtimedwait(&signals, nullptr, &recheck) < 0) {
      const bool now = modem.status().state == ModemState::Unplugged;
      if (now && !unplugged) std::cerr << "tavrin-vmodem: unplugged" << std::endl;
      if (now && !replugs) break;
      if (!now && unplugged) {
        std::cerr << "tavrin-vmodem: replugged as " << modem.slavePath() << std::endl;
      }
      unplugged = now;
    }
    modem.stop();
  } catch (const std::exception& e) {
    std::cerr << "tavrin-vmodem: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
