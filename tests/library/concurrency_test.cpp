// Several add-ins at once: separate processes write and read the record through
// IFR_v11.CLibrary with nobody locking anything. The last writer wins; no call fails
// and no reader sees a value that no writer wrote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_harness.h"
#include "test_support.h"

using namespace library_harness;

namespace {
constexpr int kProcesses = 4;
constexpr int kIterations = 500;
constexpr DWORD kTimeoutMs = 90000;
}  // namespace

TEST(Concurrency, FourProcessesWriteAndReadTheRecord) {
    testing_support::CleanRecord clean;
    Registration registration;
    ASSERT_EQ(registration.exitCode(), 0);

    std::vector<ferrolin::unique_handle> clients;
    for (int writer = 0; writer < kProcesses; ++writer) {
        clients.push_back(testing_support::StartProgram(ProgramFolder() + L"\\library_client.exe",
                                                        L"hammer " + std::to_wstring(writer) + L" " +
                                                            std::to_wstring(kIterations))
                              .process);
        ASSERT_TRUE(clients.back()) << "client " << writer << " did not start";
    }
    const DWORD started = GetTickCount();
    for (int writer = 0; writer < kProcesses; ++writer) {
        HANDLE process = clients[writer].get();
        const DWORD spent = GetTickCount() - started;
        const DWORD left = spent < kTimeoutMs ? kTimeoutMs - spent : 0;
        if (WaitForSingleObject(process, left) != WAIT_OBJECT_0) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
            ADD_FAILURE() << "client " << writer << " still running after " << kTimeoutMs << " ms";
            continue;
        }
        DWORD code = 1;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 0u) << "client " << writer << " (its report is on the standard error)";
    }
    printf("%d processes x %d iterations: %lu ms\n", kProcesses, kIterations,
           static_cast<unsigned long>(GetTickCount() - started));
}
