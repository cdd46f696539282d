// The component against peers of the unkind world: a server that drops an idle control
// connection between two transfers, a final reply past its limit right after the data, and
// names that would smuggle a second command onto the control connection.
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

// The data (8 bytes) arrives whole, then the final reply runs past the layer's reply limit: the
// read that failed carries error 8 (out of memory), the same number as the previous read's byte
// count, and must be taken for the failure it is, not for 8 more bytes.
TEST_F(PeerFaults, AFailedReadWhoseErrorEqualsTheLastByteCountIsAFailureNotData)
{
    Component c(m_dir);
    const int n = c.Connect(m_ports.scripted, "hugefinal", "x");
    ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
    c.Download(n, "/many/file07.dat", "file07.dat");
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE);
    const std::string local = ReadLocal(c.Local("file07.dat"));
    EXPECT_LE(local.size(), 8u) << "no stale bytes appended";
    EXPECT_EQ(local, std::string(local.size(), 'x'));
}

// CR or LF in any name: refused before anything reaches the server. A Download says the file
// cannot be opened and keeps the connection; the other calls end it as their failures do.
TEST_F(PeerFaults, NamesWithLineBreaksNeverReachTheServer)
{
    Component c(m_dir);
    const int n = c.Connect(m_ports.standard);
    ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
    {
        FILE* f = std::fopen(c.Local("kept.bin").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("kept", f);
        std::fclose(f);
    }
    for (const char* name : {"b1024.bin\r\nDELE b1025.bin", "b1024.bin\nNOOP"}) {
        c.Download(n, name, "kept.bin");
        EXPECT_EQ(c.Await(n), NIMBREL_STATUS_OPEN_FAILED);
        EXPECT_EQ(ReadLocal(c.Local("kept.bin")), "kept") << "the local file is not touched either";
    }
    c.Download(n, "b1024.bin", "b1024.bin");
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS) << "the connection was kept";

    ASSERT_EQ(c.FindFiles(n, "*\r\nDELE b1025.bin"), 0);
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE);
    c.Reconnect(n, m_ports.standard, "quenlor\r\nSITE x", "secret");
    EXPECT_EQ(c.Await(n), NIMBREL_STATUS_FAILURE);
    c.Reconnect(n, m_ports.standard);
    ASSERT_EQ(c.Await(n), NIMBREL_STATUS_SUCCESS);
    NIMBREL_DIRECTORY d = {};
    lstrcpyA(d.szPath, "many\nCWD /");
    ASSERT_EQ(c->SetCurrentDirectory(n, &d), 0);
    void* request = nullptr;
    EXPECT_EQ(c->GetResult(n, &request, TRUE), 0);
    EXPECT_EQ(d.nStatus, NIMBREL_STATUS_FAILURE);
}

}  // namespace
