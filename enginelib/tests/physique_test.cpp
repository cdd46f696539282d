// Physique skinning: results against a double-precision evaluation of the blend, which fields
// each transform writes (the rest of every output record is filled with guard bytes and must
// come back unchanged), strides, misaligned inputs, empty records and empty calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "GevrastSSE.h"

namespace {

constexpr unsigned char kGuard = 0xA5;

using NoUV = void(GEVRAST_CALL*)(SKIN_VERTEX*, const PHYSIQUE_VERTEX*, uint32_t, uint32_t, const MATRIX4*);
using WithUV = void(GEVRAST_CALL*)(SKIN_VERTEX*, const PHYSIQUE_VERTEX*, const TEXCOORD2*, uint32_t, uint32_t,
                                   const MATRIX4*);

// Which fields a transform writes; everything else must keep its guard bytes.
struct Kind {
    const char* name;
    NoUV no_uv;
    WithUV with_uv;
    bool normals, uv;
    void run(void* out, const PHYSIQUE_VERTEX* pv, const TEXCOORD2* uv_in, uint32_t n, uint32_t stride,
             const MATRIX4* bones) const
    {
        if (no_uv)
            no_uv(static_cast<SKIN_VERTEX*>(out), pv, n, stride, bones);
        else
            with_uv(static_cast<SKIN_VERTEX*>(out), pv, uv_in, n, stride, bones);
    }
};

const Kind kKinds[] = {
    {"PhysiqueTransform", PhysiqueTransform, nullptr, false, false},
    {"PhysiqueTransformPosAndNormal", PhysiqueTransformPosAndNormal, nullptr, true, false},
    {"PhysiqueTransformPosAndNormalAndUV", nullptr, PhysiqueTransformPosAndNormalAndUV, true, true},
    {"PhysiqueTransformPosAndWriteUV", nullptr, PhysiqueTransformPosAndWriteUV, false, true},
};

// A small deterministic generator, so failures reproduce.
struct Lcg {
    uint32_t s;
    float next(float lo, float hi)
    {
        s = s * 1664525u + 1013904223u;
        return lo + (hi - lo) * (float)((s >> 8) * (1.0 / 16777216.0));
    }
    uint32_t below(uint32_t n)
    {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) % n;
    }
};

struct Ref {
    double pos[3], normal[3], tangent[3];
    double pos_mag[3], normal_mag[3], tangent_mag[3];  // sums of |terms|, to scale the tolerance
};

// The blend in double: position = sum w (p,1) x M, normal/tangent = sum w v x M3.
Ref reference(const PHYSIQUE_VERTEX& pv, const MATRIX4* bones)
{
    Ref r{};
    for (uint32_t k = 0; k < pv.bWeightCount; ++k) {
        const BONE_WEIGHT& w = pv.pWeight[k];
        const MATRIX4& m = bones[w.dwBoneIndex];
        const double p[3] = {w.v3Pos.x, w.v3Pos.y, w.v3Pos.z};
        const double n[3] = {w.v3Normal.x, w.v3Normal.y, w.v3Normal.z};
        const double t[3] = {w.v3Tangent.x, w.v3Tangent.y, w.v3Tangent.z};
        for (int c = 0; c < 3; ++c) {
            double pc = m.m[3][c], nc = 0, tc = 0, pm = std::fabs(m.m[3][c]), nm = 0, tm = 0;
            for (int j = 0; j < 3; ++j) {
                pc += p[j] * m.m[j][c];
                nc += n[j] * m.m[j][c];
                tc += t[j] * m.m[j][c];
                pm += std::fabs(p[j] * m.m[j][c]);
                nm += std::fabs(n[j] * m.m[j][c]);
                tm += std::fabs(t[j] * m.m[j][c]);
            }
            r.pos[c] += w.fWeight * pc;
            r.normal[c] += w.fWeight * nc;
            r.tangent[c] += w.fWeight * tc;
            r.pos_mag[c] += std::fabs(w.fWeight) * pm;
            r.normal_mag[c] += std::fabs(w.fWeight) * nm;
            r.tangent_mag[c] += std::fabs(w.fWeight) * tm;
        }
    }
    return r;
}

void expect_near3(const VECTOR3& got, const double want[3], const double mag[3], uint32_t terms, const char* what)
{
    const float g[3] = {got.x, got.y, got.z};
    for (int c = 0; c < 3; ++c) {
        const double tol = 1.2e-7 * (terms + 4) * (mag[c] + 1e-30);
        EXPECT_NEAR(g[c], want[c], tol) << what << " component " << c;
    }
}

bool all_guard(const unsigned char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != kGuard) return false;
    return true;
}

// Checks output record i against the reference and the guard bytes around the written fields.
void check_record(const Kind& kind, const unsigned char* rec, size_t rec_bytes, const PHYSIQUE_VERTEX& pv,
                  const MATRIX4* bones, const TEXCOORD2& uv)
{
    SKIN_VERTEX got;
    std::memcpy(&got, rec, sizeof got);
    const Ref r = reference(pv, bones);
    expect_near3(got.v3Pos, r.pos, r.pos_mag, pv.bWeightCount, "position");
    if (kind.normals) {
        expect_near3(got.v3Normal, r.normal, r.normal_mag, pv.bWeightCount, "normal");
        expect_near3(got.v3Tangent, r.tangent, r.tangent_mag, pv.bWeightCount, "tangent");
    } else {
        EXPECT_TRUE(all_guard(rec + offsetof(SKIN_VERTEX, v3Normal), 12)) << "normal touched";
        EXPECT_TRUE(all_guard(rec + offsetof(SKIN_VERTEX, v3Tangent), 12)) << "tangent touched";
    }
    if (kind.uv)
        EXPECT_EQ(std::memcmp(rec + offsetof(SKIN_VERTEX, fU), &uv, 8), 0) << "u, v not copied bit for bit";
    else
        EXPECT_TRUE(all_guard(rec + offsetof(SKIN_VERTEX, fU), 8)) << "u, v touched";
    EXPECT_TRUE(all_guard(rec + sizeof(SKIN_VERTEX), rec_bytes - sizeof(SKIN_VERTEX))) << "gap after record touched";
}

MATRIX4 random_bone(Lcg& g)
{
    MATRIX4 m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) m.m[r][c] = g.next(-2.0f, 2.0f);
    for (int c = 0; c < 3; ++c) m.m[3][c] = g.next(-100.0f, 100.0f);
    m.m[3][3] = 1.0f;
    for (int r = 0; r < 3; ++r) m.m[r][3] = 0.0f;
    return m;
}

VECTOR3 random_vec(Lcg& g, float range) { return {g.next(-range, range), g.next(-range, range), g.next(-range, range)}; }

MATRIX4 identity()
{
    MATRIX4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

MATRIX4 translation(float x, float y, float z)
{
    MATRIX4 m = identity();
    m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
    return m;
}

TEST(Physique, OneFullWeightOnIdentityAndHalfWeightsOnTwoTranslations)
{
    const BONE_WEIGHT one{0, 1.0f, {1.5f, -2.0f, 3.25f}, {0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}};
    const BONE_WEIGHT halves[2] = {{1, 0.5f, {1.5f, -2.0f, 3.25f}, {0.0f, 0.6f, 0.8f}, {0.0f, 0.0f, 1.0f}},
                                   {2, 0.5f, {1.5f, -2.0f, 3.25f}, {0.0f, 0.6f, 0.8f}, {0.0f, 0.0f, 1.0f}}};
    const MATRIX4 bones[3] = {identity(), translation(2, 0, 0), translation(0, 2, 0)};
    const PHYSIQUE_VERTEX pv[2] = {{1, &one}, {2, halves}};
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        SKIN_VERTEX out[2];
        const TEXCOORD2 uv[2] = {{0.25f, 0.75f}, {-1.0f, 2.0f}};
        kind.run(out, pv, uv, 2, sizeof(SKIN_VERTEX), bones);
        EXPECT_EQ(out[0].v3Pos.x, 1.5f);
        EXPECT_EQ(out[0].v3Pos.y, -2.0f);
        EXPECT_EQ(out[0].v3Pos.z, 3.25f);
        EXPECT_EQ(out[1].v3Pos.x, 2.5f);
        EXPECT_EQ(out[1].v3Pos.y, -1.0f);
        EXPECT_EQ(out[1].v3Pos.z, 3.25f);
        if (kind.normals) {
            EXPECT_TRUE(out[0].v3Normal.x == 0 && out[0].v3Normal.y == 1 && out[0].v3Normal.z == 0);
            EXPECT_TRUE(out[0].v3Tangent.x == 1 && out[0].v3Tangent.y == 0 && out[0].v3Tangent.z == 0);
            // 0.5 * 0.6 + 0.5 * 0.6 is exact in float: the normal comes back unchanged.
            EXPECT_TRUE(out[1].v3Normal.x == 0 && out[1].v3Normal.y == 0.6f && out[1].v3Normal.z == 0.8f);
            EXPECT_TRUE(out[1].v3Tangent.x == 0 && out[1].v3Tangent.y == 0 && out[1].v3Tangent.z == 1);
        }
        if (kind.uv) {
            EXPECT_TRUE(out[1].fU == -1.0f && out[1].fV == 2.0f);
        }
    }
}

TEST(Physique, WeightsAreSummedInRecordOrderWithoutNormalising)
{
    // 1e8 + 1 rounds back to 1e8 in float, so the order of the three terms shows in the result.
    const BONE_WEIGHT a[3] = {{0, 1.0f, {1e8f, 0, 0}, {}, {}}, {0, 1.0f, {1, 0, 0}, {}, {}}, {0, 1.0f, {-1e8f, 0, 0}, {}, {}}};
    const BONE_WEIGHT b[3] = {a[0], a[2], a[1]};
    // Weights adding up to 3: no rescaling.
    const BONE_WEIGHT c[2] = {{0, 2.0f, {1, 2, 3}, {1, 0, 0}, {0, 1, 0}}, {0, 1.0f, {1, 2, 3}, {1, 0, 0}, {0, 1, 0}}};
    const MATRIX4 bone = identity();
    const PHYSIQUE_VERTEX pv[3] = {{3, a}, {3, b}, {2, c}};
    SKIN_VERTEX out[3];
    PhysiqueTransformPosAndNormal(out, pv, 3, sizeof(SKIN_VERTEX), &bone);
    EXPECT_EQ(out[0].v3Pos.x, 0.0f);
    EXPECT_EQ(out[1].v3Pos.x, 1.0f);
    EXPECT_TRUE(out[2].v3Pos.x == 3 && out[2].v3Pos.y == 6 && out[2].v3Pos.z == 9);
    EXPECT_EQ(out[2].v3Normal.x, 3.0f);
    EXPECT_EQ(out[2].v3Tangent.y, 3.0f);
}

// Vertices with 1 to 4 weights and more (up to the 255 a record can hold) on random bones,
// written at the packed stride and at a wider one with a gap after every record.
TEST(Physique, MatchesDoublePrecisionBlendAndWritesOnlyItsOwnFields)
{
    Lcg g{12345};
    std::vector<MATRIX4> bones(40);
    for (MATRIX4& m : bones) m = random_bone(g);
    const uint8_t counts[] = {1, 2, 3, 4, 1, 4, 5, 8, 17, 255, 3, 2};
    const uint32_t n = sizeof counts;
    size_t total = 0;
    for (uint8_t c : counts) total += c;
    std::vector<BONE_WEIGHT> weights(total);
    std::vector<PHYSIQUE_VERTEX> pv(n);
    std::vector<TEXCOORD2> uv(n);
    size_t next = 0;
    for (uint32_t i = 0; i < n; ++i) {
        pv[i].bWeightCount = counts[i];
        pv[i].pWeight = &weights[next];
        for (uint32_t k = 0; k < counts[i]; ++k) {
            BONE_WEIGHT& w = weights[next++];
            w.dwBoneIndex = g.below((uint32_t)bones.size());
            w.fWeight = g.next(0.0f, 1.0f) / counts[i];
            w.v3Pos = random_vec(g, 50.0f);
            w.v3Normal = random_vec(g, 1.0f);
            w.v3Tangent = random_vec(g, 1.0f);
        }
        uv[i] = {g.next(-4.0f, 4.0f), g.next(-4.0f, 4.0f)};
    }
    for (const Kind& kind : kKinds) {
        for (uint32_t stride : {(uint32_t)sizeof(SKIN_VERTEX), 64u}) {
            SCOPED_TRACE(std::string(kind.name) + " stride " + std::to_string(stride));
            // Guard bytes fill every record, every gap and one whole stride past the end.
            std::vector<unsigned char> out(stride * (n + 1), kGuard);
            kind.run(out.data(), pv.data(), uv.data(), n, stride, bones.data());
            for (uint32_t i = 0; i < n; ++i) {
                SCOPED_TRACE("vertex " + std::to_string(i));
                check_record(kind, &out[i * stride], stride, pv[i], bones.data(), uv[i]);
            }
            EXPECT_TRUE(all_guard(&out[n * stride], stride)) << "wrote past the last record";
        }
    }
}

// Matrices, weights, texture coordinates and output 4 bytes off 16-byte alignment; the output
// records at an odd stride so most of them straddle cache lines at odd offsets.
TEST(Physique, NeedsNoSixteenByteAlignment)
{
    Lcg g{777};
    alignas(16) unsigned char bone_mem[4 + 3 * sizeof(MATRIX4)];
    alignas(16) unsigned char weight_mem[4 + 6 * sizeof(BONE_WEIGHT)];
    alignas(16) unsigned char uv_mem[4 + 3 * sizeof(TEXCOORD2)];
    MATRIX4* bones = reinterpret_cast<MATRIX4*>(bone_mem + 4);
    BONE_WEIGHT* weights = reinterpret_cast<BONE_WEIGHT*>(weight_mem + 4);
    TEXCOORD2* uv = reinterpret_cast<TEXCOORD2*>(uv_mem + 4);
    for (int i = 0; i < 3; ++i) bones[i] = random_bone(g);
    for (int i = 0; i < 6; ++i)
        weights[i] = {(uint32_t)(i % 3), g.next(0.1f, 0.6f), random_vec(g, 10), random_vec(g, 1), random_vec(g, 1)};
    for (int i = 0; i < 3; ++i) uv[i] = {g.next(0, 1), g.next(0, 1)};
    // One byte in, the PHYSIQUE_VERTEX array is misaligned as well.
    unsigned char pv_mem[1 + 3 * sizeof(PHYSIQUE_VERTEX)];
    PHYSIQUE_VERTEX* pv = reinterpret_cast<PHYSIQUE_VERTEX*>(pv_mem + 1);
    const PHYSIQUE_VERTEX src[3] = {{1, &weights[0]}, {2, &weights[1]}, {3, &weights[3]}};
    std::memcpy(pv, src, sizeof src);
    const uint32_t stride = 52;
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        alignas(16) unsigned char out[4 + 4 * stride];
        std::memset(out, kGuard, sizeof out);
        kind.run(out + 4, pv, uv, 3, stride, bones);
        EXPECT_TRUE(all_guard(out, 4));
        for (uint32_t i = 0; i < 3; ++i) check_record(kind, out + 4 + i * stride, stride, src[i], bones, uv[i]);
        EXPECT_TRUE(all_guard(out + 4 + 3 * stride, stride));
    }
}

// A count of 0 touches nothing (null arrays prove nothing is read); a record with no weights
// gives the empty sums and never follows its weight address.
TEST(Physique, EmptyCallsAndRecordsWithoutWeights)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        unsigned char out[2 * sizeof(SKIN_VERTEX)];
        std::memset(out, kGuard, sizeof out);
        kind.run(out, nullptr, nullptr, 0, sizeof(SKIN_VERTEX), nullptr);
        EXPECT_TRUE(all_guard(out, sizeof out));
    }

    const BONE_WEIGHT w{1, 1.0f, {1, 2, 3}, {0, 0, 1}, {1, 0, 0}};
    const MATRIX4 bones[2] = {identity(), translation(10, 20, 30)};
    // An address that would fault if it were read.
    const BONE_WEIGHT* bad = reinterpret_cast<const BONE_WEIGHT*>(uintptr_t{0x10});
    const PHYSIQUE_VERTEX pv[3] = {{1, &w}, {0, bad}, {1, &w}};
    const TEXCOORD2 uv[3] = {{1, 2}, {3, 4}, {5, 6}};
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const uint32_t stride = 48;
        unsigned char out[4 * stride];
        std::memset(out, kGuard, sizeof out);
        kind.run(out, pv, uv, 3, stride, bones);
        for (uint32_t i = 0; i < 3; ++i) check_record(kind, out + i * stride, stride, pv[i], bones, uv[i]);
        SKIN_VERTEX empty;
        std::memcpy(&empty, out + stride, sizeof empty);
        EXPECT_TRUE(empty.v3Pos.x == 0 && empty.v3Pos.y == 0 && empty.v3Pos.z == 0);
        if (kind.normals) {
            EXPECT_TRUE(empty.v3Normal.x == 0 && empty.v3Tangent.z == 0);
        }
        EXPECT_TRUE(all_guard(out + 3 * stride, stride));
    }
}

}  // namespace
