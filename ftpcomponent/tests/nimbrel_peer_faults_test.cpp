// The component against peers of the unkind world: a server that drops an idle control
// connection between two transfers.
#include "component_client.h"

namespace {

using namespace component_client;

using PeerFaults = ComponentTest;

// After each whole file the scripted peer ("idledrop") closes the control connection. Whatever
// the next call is, the client hears status 5 (the connection is gone, connect again), never 4
// ("file missing"), and the session takes a Connect at once.
TEST_F(PeerFaults, AControlConnectionDroppedBetweenCallsIsReportedAsDeadAndTheSessionConnectsAgain)
{
    Component c(m_dir);
    const int n = c.Connect(m_ports.scripted, "idledrop", "x");
    ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
    const char* after[] = {"download", "listing", "directory"};
    for (const char* call : after) {
        c.Download(n, "b1025.bin", "first.bin");
        ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS) << call;
        EXPECT_EQ(ReadLocal(c.Local("first.bin")), Content(1025));
        Sleep(200);  // the server has closed by now (the call would find out either way)

        if (call == after[0]) {
            c.Download(n, "b1024.bin", "second.bin");
        } else if (call == after[1]) {
            ASSERT_EQ(c.FindFiles(n, "*"), 0);
        } else {
            ASSERT_EQ(c.GetCurrentDirectory(n), 0);
        }
        EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE) << call << " on a dead connection";
        NIMBREL_DOWNLOAD refused = {};
        EXPECT_EQ(c->Download(n, &refused), -3) << call << ": not connected any more";

        c.Reconnect(n, m_ports.scripted, "idledrop", "x");
        ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS) << call << ": Connect is accepted again";
    }
    c.Download(n, "b1024.bin", "second.bin");
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
    EXPECT_EQ(ReadLocal(c.Local("second.bin")), Content(1024));

    // A file that is missing on a live connection is still status 4, with the connection kept.
    Component live(m_dir);
    const int m = live.Connect(m_ports.standard);
    ASSERT_EQ(live.Await(m), NIMBREL_STATUS_SUCCESS);
    live.Download(m, "no such file.bin", "missing.bin");
    EXPECT_EQ(live.Await(m), NIMBREL_STATUS_OPEN_FAILED);
    live.Download(m, "b1024.bin", "b1024.bin");
    EXPECT_EQ(live.Await(m), NIMBREL_STATUS_SUCCESS);
}

}  // namespace
