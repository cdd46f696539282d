// Several component objects in one process, made through the class object as CoCreateInstance
// makes them: each object's completions reach its own client and only its own, whatever other
// objects are made, refused, used and released meanwhile.
#include "component_client.h"

namespace {

using namespace component_client;

using SeveralObjects = ComponentTest;

TEST_F(SeveralObjects, ADownloadGoesOnWhileOtherObjectsAreMadeRefusedUsedAndReleased)
{
    Component a(m_dir + "\\a");
    const int na = a.Connect(m_ports.standard);
    ASSERT_TRUE(RunUntil({&a}, [&] { return !a.Finals(na).empty(); }));
    ASSERT_EQ(a.Finals(na), std::vector<int>{NIMBREL_STATUS_SUCCESS});
    a.Download(na, "big.bin", "big.bin");

    // While A's data flows: an object the class object makes and the caller refuses (as
    // CoCreateInstance first asks for IClassFactory), then a whole second object's life.
    int stage = 0;
    a.m_onProgress = [&](int) {
        if (stage != 0) return;
        stage = 1;
        void* refused = reinterpret_cast<void*>(1);
        EXPECT_EQ(MakeObject(IID_IClassFactory, &refused), E_NOINTERFACE);
        EXPECT_EQ(refused, nullptr);
        EXPECT_EQ(g_lLiveObjects, 1) << "the refused object is gone, A is not";
        {
            Component b(m_dir + "\\b");
            const int nb = b.Connect(m_ports.standard);
            EXPECT_EQ(nb, na) << "the same session number in both objects";
            EXPECT_TRUE(RunUntil({&b}, [&] { return !b.Finals(nb).empty(); }));
            EXPECT_EQ(b.Finals(nb), std::vector<int>{NIMBREL_STATUS_SUCCESS});
            b.Download(nb, "b1025.bin", "b1025.bin");
            EXPECT_TRUE(RunUntil({&b}, [&] { return b.Finals(nb).size() == 2; }));
            EXPECT_EQ(b.Finals(nb), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}));
            EXPECT_EQ(ReadLocal(b.Local("b1025.bin")), Content(1025));
        }
        EXPECT_EQ(g_lLiveObjects, 1);
        stage = 2;
    };
    ASSERT_TRUE(RunUntil({&a}, [&] { return a.Finals(na).size() == 2; })) << "A's download stalled";
    EXPECT_EQ(stage, 2);
    EXPECT_EQ(a.Finals(na), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}));
    EXPECT_EQ(a.Written(na), kBigSize);
    EXPECT_TRUE(ReadLocal(a.Local("big.bin")) == Content(kBigSize)) << "byte for byte";
}

TEST_F(SeveralObjects, TwoObjectsRunSessionsAtOnceAndEachHearsOnlyItsOwn)
{
    Component a(m_dir + "\\a"), b(m_dir + "\\b");
    // Sessions 1 and 2 in both objects: the same slots, so the same serials if tables shared them.
    // All four connect at once: their connection threads start together.
    int sessions[2][2];
    Component* both[2] = {&a, &b};
    for (int i = 0; i < 2; ++i)
        for (int o = 0; o < 2; ++o) sessions[o][i] = both[o]->Connect(m_ports.standard);
    ASSERT_TRUE(RunUntil({&a, &b}, [&] {
        for (int o = 0; o < 2; ++o)
            for (int s : sessions[o])
                if (both[o]->Finals(s).empty()) return false;
        return true;
    }));
    for (int o = 0; o < 2; ++o)
        for (int s : sessions[o]) ASSERT_EQ(both[o]->Finals(s), std::vector<int>{NIMBREL_STATUS_SUCCESS});
    // One large transfer beside three small ones, all four at once.
    a.Download(sessions[0][0], "big.bin", "big.bin");
    a.Download(sessions[0][1], "b1024.bin", "b1024.bin");
    b.Download(sessions[1][0], "b1025.bin", "b1025.bin");
    b.Download(sessions[1][1], "/many/file07.dat", "file07.dat");
    ASSERT_TRUE(RunUntil({&a, &b}, [&] {
        for (int o = 0; o < 2; ++o)
            for (int s : sessions[o])
                if (both[o]->Finals(s).size() < 2) return false;
        return true;
    }));
    for (int o = 0; o < 2; ++o)
        for (int s : sessions[o])
            EXPECT_EQ(both[o]->Finals(s), (std::vector<int>{NIMBREL_STATUS_SUCCESS, NIMBREL_STATUS_SUCCESS}))
                << "object " << o << " session " << s << ": exactly its own two finals";
    EXPECT_GT(a.Progress(sessions[0][0]), 0);
    EXPECT_EQ(a.Written(sessions[0][0]), kBigSize);
    EXPECT_TRUE(ReadLocal(a.Local("big.bin")) == Content(kBigSize));
    EXPECT_EQ(ReadLocal(a.Local("b1024.bin")), Content(1024));
    EXPECT_EQ(ReadLocal(b.Local("b1025.bin")), Content(1025));
    EXPECT_EQ(b.Written(sessions[1][0]), 1025u);
    EXPECT_EQ(ReadLocal(b.Local("file07.dat")), std::string(8, 'x'));
}

}  // namespace
