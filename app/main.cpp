// Process entry. The static objects below are constructed in this order: the log file,
// the stream clipboard formats, then the application object.
#include "LogFile.h"
#include "PloverApp.h"
#include "OpcStreamFormats.h"

namespace {
CLogFile theLogFile(L"plover.log");
const COpcStreamFormats theStreamFormats;
CPloverApp theApp;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int nCmdShow) {
  theApp.m_strCmdLine = lpCmdLine ? lpCmdLine : L"";
  theApp.m_nCmdShow = nCmdShow;
  if (!theApp.InitInstance()) return theApp.ExitInstance();
  return theApp.Run();
}
