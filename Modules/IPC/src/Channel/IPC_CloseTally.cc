// Counting closes down to the last one.
#include "Channel/IPC_CloseTally.h"

#include <algorithm>

#include "base/bind.h"

IPC_CloseTally::IPC_CloseTally() : m_iOpen(0), m_bAllWritten(true), m_AllClosed(true, true) {}

IPC_CloseTally::~IPC_CloseTally() {}

IPC::Channel::ClosedCallback IPC_CloseTally::Expect() {
  CountOneOpen();
  return base::Bind(&IPC_CloseTally::OnClosed, this);
}

IPC::Channel::ClosedCallback IPC_CloseTally::ExpectCloseOnly() {
  CountOneOpen();
  return base::Bind(&IPC_CloseTally::OnClosedOnly, this);
}

void IPC_CloseTally::CountOneOpen() {
  base::AutoLock lock(m_Lock);
  if (m_iOpen++ == 0)
    m_AllClosed.Reset();
}

void IPC_CloseTally::Forget() {
  base::AutoLock lock(m_Lock);
  CountOneClosed();
}

bool IPC_CloseTally::Wait(base::TimeTicks write_deadline) {
  const base::TimeTicks deadline =
      write_deadline + base::TimeDelta::FromMilliseconds(kCutShortCloseMs);
  const base::TimeDelta left = std::max(deadline - base::TimeTicks::Now(), base::TimeDelta());
  if (!m_AllClosed.TimedWait(left))
    return false;
  base::AutoLock lock(m_Lock);
  return m_bAllWritten;
}

void IPC_CloseTally::OnClosed(bool written) {
  base::AutoLock lock(m_Lock);
  m_bAllWritten = m_bAllWritten && written;
  CountOneClosed();
}

void IPC_CloseTally::OnClosedOnly(bool /*written*/) {
  Forget();
}

void IPC_CloseTally::CountOneClosed() {
  if (--m_iOpen == 0)
    m_AllClosed.Signal();
}
