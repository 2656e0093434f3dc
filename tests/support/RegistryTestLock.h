// Tests that use the program's registry keys run one at a time, across the test processes that
// CTest starts in parallel: each holds this named mutex for its whole run.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "framework/Handles.h"

class RegistryTestLock {
public:
    RegistryTestLock() : m_mutex(::CreateMutexW(nullptr, FALSE, L"PelkoTestRegistryLock")) {
        EXPECT_TRUE(m_mutex.IsValid());
        // A generous wait: another test program may be in the middle of its registry tests.
        const DWORD wait = ::WaitForSingleObject(m_mutex.Get(), 120000);
        m_owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        EXPECT_TRUE(m_owned) << "registry lock not obtained, wait result " << wait;
    }
    RegistryTestLock(const RegistryTestLock&) = delete;
    RegistryTestLock& operator=(const RegistryTestLock&) = delete;
    ~RegistryTestLock() {
        if (m_owned) ::ReleaseMutex(m_mutex.Get());
    }

private:
    UniqueKernelHandle m_mutex;
    bool m_owned = false;
};
