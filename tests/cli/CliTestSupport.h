// Runs the console client's commands in this process against the simulation server, with
// its clock stopped so that values and time stamps are the same on every run.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CliRun.h"
#include "ComPtr.h"
#include "SimControl.h"

struct CliResult {
  int rc = -1;
  std::string out;
  std::string err;
};

class CliTest : public testing::Test {
 protected:
  // Runs the command; the server it connects to is made deterministic first, then
  // prepare (if any) runs with its hooks. idle (if any) runs whenever a watch waits.
  CliResult Run(const std::vector<std::wstring>& args,
                const std::function<void(IPloverSimControl*)>& prepare = nullptr,
                const std::function<void(IPloverSimControl*)>& idle = nullptr);
  // "{T+ms}" in a template becomes the ISO time of the last run's server start plus ms.
  std::string Expand(const std::string& text) const;
  // A UTF-8 file in the temporary folder, removed by TearDown.
  std::wstring TempFile(const std::string& name, const std::string& bytes);
  void TearDown() override;

  FILETIME m_origin = {};
  std::vector<std::wstring> m_files;
};

// Live objects of the simulation server DLL, counted through a probe server of its own
// (which counts as one server).
PloverSimLiveCounts SimLiveCounts();
// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);
