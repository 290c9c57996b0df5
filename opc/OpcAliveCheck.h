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
// The proxies belong to the caller's apartment; releasing them from another is outside
// COM's rules, done deliberately for a server already counted as lost, and checked under
// Wine only (Wine then asks the server from the releasing thread).
void ReleaseOnOwnThread(std::vector<IUnknown*> objects);
// Whether such releases still run, the last begun less than youngerThanMs ago: a new
// connection waits for them, so the two never meet in the proxies (one held by a server
// that does not answer is not waited for longer).
bool ReleasesPending(DWORD youngerThanMs);

class COpcAliveCheck {
 public:
  // The millisecond clock of the keep-alive watch and of the callbacks it counts; tests
  // drive their own.
  using Clock = ULONGLONG(WINAPI*)();
  static Clock SetClock(Clock clock) {
    const Clock old = s_clock;
    s_clock = clock ? clock : ::GetTickCount64;
    return old;
  }
  static ULONGLONG Now() { return s_clock(); }

  // Milliseconds a check may go unanswered before the server counts as no longer
  // answering: generous, since a server busy browsing or adding many thousands of items
  // answers late. Ticks must come more often than every half limit: a longer gap counts as
  // a stall of the caller's thread, after which the check gets a full limit again.
  static constexpr DWORD kDefaultLimitMs = 20000;
  // The limit in force (tests shorten it); SetLimit returns the previous one.
  static DWORD Limit() { return s_limitMs; }
  static DWORD SetLimit(DWORD ms) {
    const DWORD old = s_limitMs;
    s_limitMs = ms;
    return old;
  }

  COpcAliveCheck() = default;
  ~COpcAliveCheck() { Stop(); }
  COpcAliveCheck(const COpcAliveCheck&) = delete;
  COpcAliveCheck& operator=(const COpcAliveCheck&) = delete;

  // Watches this server (called on its apartment thread, which owns the pointer); one in
  // this process is not watched. Returns whether the server is a proxy, even when the
  // check could not be started for it.
  bool Start(IOPCServer* server);
  // Forgets the server; the check's thread lets go of it and ends on its own, and is not
  // waited for (it may be stuck in a call to a server that no longer answers).
  void Stop();
  // One tick: S_OK while all is well (a new check may have been asked for), the failing
  // code of a finished check, or RPC_E_TIMEOUT when a check has waited longer than limitMs.
  HRESULT Tick(DWORD limitMs);
  // When (GetTickCount64) the last check that came back well was asked; 0 for none yet.
  ULONGLONG AnsweredAsked() const { return m_answeredAsked; }
  // One tick where a group's keep-alive stands in for the status check: nothing is asked of
  // the server; RPC_E_TIMEOUT once no callback (lastHeard, on Now()'s clock) has come for
  // keepAliveMs + limitMs. S_OK for a server in this process.
  HRESULT TickKeepAlive(DWORD keepAliveMs, ULONGLONG lastHeard, DWORD limitMs);
  // Status checks asked of the server so far (tests see the polling stop).
  unsigned ChecksAsked() const { return m_nAsked; }

 private:
  struct Shared;
  static DWORD WINAPI Run(void* param);

  static inline DWORD s_limitMs = kDefaultLimitMs;
  static inline Clock s_clock = ::GetTickCount64;
  unsigned m_nAsked = 0;
  ULONGLONG m_keepAliveFrom = 0;  // keep-alive watch since; 0 while polling
  ULONGLONG m_keepAliveTick = 0;
  Shared* m_pShared = nullptr;
  bool m_bPending = false;
  ULONGLONG m_started = 0;
  ULONGLONG m_lastTick = 0;
  ULONGLONG m_answeredAsked = 0;
};
