// The status check that notices a server process that died or stopped answering. It runs
// on a thread of its own: the call into a hung server blocks that thread, never the
// program's. The apartment thread asks for a check and collects its result on a later
// tick; a check still unanswered after the limit means the server no longer answers.
#pragma once
#include <windows.h>

#include <vector>

#include "opcda.h"

// Lets go of these references (one each) on a thread of its own. The last release of a
// proxy tells its server, and a server that does not answer would hold the caller there.
void ReleaseOnOwnThread(std::vector<IUnknown*> objects);

class COpcAliveCheck {
 public:
  COpcAliveCheck() = default;
  ~COpcAliveCheck() { Stop(); }
  COpcAliveCheck(const COpcAliveCheck&) = delete;
  COpcAliveCheck& operator=(const COpcAliveCheck&) = delete;

  // Watches this server (called on its apartment thread, which owns the pointer); one in
  // this process is not watched. Whether the server is watched: it is a proxy.
  bool Start(IOPCServer* server);
  // Forgets the server; the check's thread lets go of it and ends on its own, and is not
  // waited for (it may be stuck in a call to a server that no longer answers).
  void Stop();
  // One tick: S_OK while all is well (a new check may have been asked for), the failing
  // code of a finished check, or RPC_E_TIMEOUT when a check has waited longer than limitMs.
  HRESULT Tick(DWORD limitMs);

 private:
  struct Shared;
  static DWORD WINAPI Run(void* param);

  Shared* m_pShared = nullptr;
  bool m_bPending = false;
  ULONGLONG m_started = 0;
  ULONGLONG m_lastTick = 0;
};
