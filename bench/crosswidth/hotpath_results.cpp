// Prints what the benchmarked hot paths compute from one fixed input set, so the 32-bit build
// and the x86-64 measuring build can be compared line by line: a benchmark whose routine
// computes something else in one build measures nothing.
//
// Each line is "<case> <rule> <values...>". Floats are printed as their bit patterns. Rule
// "exact": the lines must be identical (SSE arithmetic in single precision, integer and pointer
// work). Rule "ulp1": floats may differ by one unit in the last place (the routine rounds a
// C runtime function's result, and the 32-bit and 64-bit runtimes need not agree on its last
// bit). Containers and sorts print a count and a digest of the whole output sequence.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "GevrastSSE.h"
#include "md5_ctx.h"

namespace {

// Same sequence on every platform (std:: distributions are not specified bit for bit).
class Lcg {
public:
    uint32_t next() { return state_ = state_ * 1664525u + 1013904223u, state_ >> 8; }
    uint32_t below(uint32_t n) { return next() % n; }
    // Multiples of 1/64 in [-range, range): exact in single precision.
    float value(int range) { return (float)((int)below((uint32_t)range * 128) - range * 64) / 64.0f; }

private:
    uint32_t state_ = 12345;
};

class Digest {
public:
    void add(uint32_t v) { for (int i = 0; i < 4; ++i) hash_ = (hash_ ^ ((v >> (8 * i)) & 0xFF)) * 0x100000001B3ull; }
    uint64_t value() const { return hash_; }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

uint32_t bits(float f)
{
    uint32_t b;
    memcpy(&b, &f, sizeof(b));
    return b;
}

void print_floats(const char* name, size_t index, const char* rule, const float* f, size_t n)
{
    printf("%s[%zu] %s", name, index, rule);
    for (size_t i = 0; i < n; ++i) printf(" %08x", bits(f[i]));
    printf("\n");
}

void print_digest(const char* name, const char* rule, size_t count, const Digest& d)
{
    printf("%s %s %zu %016llx\n", name, rule, count, (unsigned long long)d.value());
}

VECTOR3 vec3(Lcg& r, int range) { return {r.value(range), r.value(range), r.value(range)}; }

MATRIX4 matrix(Lcg& r)
{
    MATRIX4 m;
    for (auto& row : m.m)
        for (float& f : row) f = r.value(2);
    m.m[3][3] = 1.0f;
    return m;
}

void math_results(Lcg& r)
{
    for (size_t i = 0; i < 64; ++i) {
        MATRIX4 a = matrix(r), b = matrix(r), c = matrix(r), out, out3;
        // Only affine matrices are inverted; a refused one must leave the output as it was.
        MATRIX4 affine = matrix(r), inverse;
        if (i % 8) affine.m[0][3] = affine.m[1][3] = affine.m[2][3] = 0.0f;
        for (auto& row : inverse.m)
            for (float& f : row) f = 7.0f;
        MatrixMultiply2(&out, &a, &b);
        print_floats("MatrixMultiply2", i, "exact", &out.m[0][0], 16);
        MatrixMultiply3(&out3, &a, &b, &c);
        print_floats("MatrixMultiply3", i, "exact", &out3.m[0][0], 16);
        const uint32_t ok = SetInverseMatrix(&inverse, &affine);
        float inv[17];
        memcpy(inv, &inverse.m[0][0], sizeof(float) * 16);
        inv[16] = (float)ok;
        print_floats("SetInverseMatrix", i, "exact", inv, 17);
    }
    const MATRIX4 m = matrix(r);
    std::vector<VECTOR3> src(256), dst3(256);
    std::vector<VECTOR4> dst4(256), src4(256), out4(256);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = vec3(r, 100);
        src4[i] = {r.value(100), r.value(100), r.value(100), r.value(2)};
    }
    TransformVector3_VPTR2(dst3.data(), src.data(), &m, (uint32_t)src.size());
    TransformV3TOV4(dst4.data(), src.data(), &m, (uint32_t)src.size());
    TransformVector4_VPTR2(out4.data(), src4.data(), &m, (uint32_t)src4.size());
    for (size_t i = 0; i < src.size(); ++i) {
        print_floats("TransformVector3_VPTR2", i, "exact", &dst3[i].x, 3);
        print_floats("TransformV3TOV4", i, "exact", &dst4[i].x, 4);
        print_floats("TransformVector4_VPTR2", i, "exact", &out4[i].x, 4);
    }
    for (size_t i = 0; i < 128; ++i) {
        VECTOR3 a = vec3(r, 10), b = vec3(r, 10), cross, unit;
        CrossProduct(&cross, &a, &b);
        Normalize(&unit, &a);
        const float angle = r.value(3);
        const float scalars[] = {DotProduct(&a, &b), VECTOR3Length(&a), CalcCosAngle(&a, &b), cross.x, cross.y, cross.z,
                                 unit.x, unit.y, unit.z, Sin(angle), Cos(angle), ASin(angle / 3), ACos(angle / 3)};
        print_floats("VectorAndTrig", i, "exact", scalars, sizeof(scalars) / sizeof(scalars[0]));
        // acos and atan2 come from the C runtime.
        VECTOR3 ypr;
        ConvertFromTo2YPR(&a, &ypr);
        const float runtime[] = {CalcAngle(&a, &b), ypr.x, ypr.y, ypr.z};
        print_floats("CalcAngleAndYPR", i, "ulp1", runtime, 4);
    }
}

void physique_results(Lcg& r)
{
    std::vector<MATRIX4> bones(16);
    for (MATRIX4& b : bones) b = matrix(r);
    for (uint8_t per_vertex = 0; per_vertex <= 4; ++per_vertex) {
        const size_t n = 64;
        std::vector<BONE_WEIGHT> weights(n * per_vertex + 1);
        std::vector<PHYSIQUE_VERTEX> vertices(n);
        std::vector<TEXCOORD2> uv(n);
        for (size_t i = 0; i < n; ++i) {
            for (size_t k = 0; k < per_vertex; ++k) {
                BONE_WEIGHT& w = weights[i * per_vertex + k];
                w.dwBoneIndex = r.below((uint32_t)bones.size());
                w.fWeight = r.value(1);
                w.v3Pos = vec3(r, 50);
                w.v3Normal = vec3(r, 1);
                w.v3Tangent = vec3(r, 1);
            }
            vertices[i].bWeightCount = per_vertex;
            vertices[i].pWeight = &weights[i * per_vertex];
            uv[i] = {r.value(1), r.value(1)};
        }
        // Every output starts from the same bytes, so fields a transform does not write compare too.
        const SKIN_VERTEX blank = {{7, 7, 7}, {7, 7, 7}, 7, 7, {7, 7, 7}};
        std::vector<SKIN_VERTEX> out(n, blank);
        const uint32_t stride = sizeof(SKIN_VERTEX);
        for (int form = 0; form < 4; ++form) {
            std::fill(out.begin(), out.end(), blank);
            const char* name = nullptr;
            switch (form) {
            case 0: PhysiqueTransform(out.data(), vertices.data(), n, stride, bones.data()); name = "PhysiqueTransform"; break;
            case 1: PhysiqueTransformPosAndNormal(out.data(), vertices.data(), n, stride, bones.data());
                name = "PhysiqueTransformPosAndNormal"; break;
            case 2: PhysiqueTransformPosAndNormalAndUV(out.data(), vertices.data(), uv.data(), n, stride, bones.data());
                name = "PhysiqueTransformPosAndNormalAndUV"; break;
            default: PhysiqueTransformPosAndWriteUV(out.data(), vertices.data(), uv.data(), n, stride, bones.data());
                name = "PhysiqueTransformPosAndWriteUV"; break;
            }
            for (size_t i = 0; i < n; ++i) {
                const std::string label = std::string(name) + "/" + std::to_string(per_vertex);
                print_floats(label.c_str(), i, "exact", &out[i].v3Pos.x, sizeof(SKIN_VERTEX) / sizeof(float));
            }
        }
    }
}

void mesh_and_collision_results(Lcg& r)
{
    std::vector<VECTOR3> positions(200);
    for (VECTOR3& p : positions) p = vec3(r, 20);
    const size_t faces = 256;
    std::vector<uint16_t> indices(faces * 3);
    for (uint16_t& i : indices) i = (uint16_t)r.below((uint32_t)positions.size());
    std::vector<FACE_DESC> list(faces);
    BuildFaceList(list.data(), positions.data(), indices.data(), (uint32_t)faces);
    for (size_t i = 0; i < faces; ++i) {
        const FACE_DESC& f = list[i];
        const float v[] = {f.v3Center.x, f.v3Center.y, f.v3Center.z, f.plane.a, f.plane.b, f.plane.c, f.plane.d,
                           (float)f.wIndex[0], (float)f.wIndex[1], (float)f.wIndex[2], (float)f.wReserved};
        print_floats("BuildFaceList", i, "exact", v, sizeof(v) / sizeof(v[0]));
    }
    for (size_t view = 0; view < 8; ++view) {
        const VECTOR3 viewer = vec3(r, 40);
        std::vector<uint16_t> kept(faces);
        const uint32_t count = CullBackFace(kept.data(), list.data(), &viewer, (uint32_t)faces);
        Digest d;
        for (uint32_t i = 0; i < count; ++i) d.add(kept[i]);
        print_digest(("CullBackFace[" + std::to_string(view) + "]").c_str(), "exact", count, d);
    }
    for (size_t i = 0; i < 256; ++i) {
        const VECTOR3 origin = vec3(r, 10), c0 = vec3(r, 5), c1 = vec3(r, 5), c2 = vec3(r, 5);
        // Aim near the triangle so about half the rays hit.
        VECTOR3 direction = {(c0.x + c1.x + c2.x) / 3 - origin.x + r.value(2), (c0.y + c1.y + c2.y) / 3 - origin.y,
                             (c0.z + c1.z + c2.z) / 3 - origin.z};
        VECTOR3 hit = {0, 0, 0};
        float t = 0, u = 0, v = 0;
        const uint32_t cull = (uint32_t)(i & 1);
        const uint32_t result = IntersectTriangle(&hit, &origin, &direction, &c0, &c1, &c2, &t, &u, &v, cull);
        const float out[] = {(float)result, hit.x, hit.y, hit.z, t, u, v};
        print_floats("IntersectTriangle", i, "exact", out, 7);
    }
}

void sort_results(Lcg& r)
{
    const size_t n = 4000;
    std::vector<SORT_ENTRY> input(n);
    for (size_t i = 0; i < n; ++i) {
        // Few distinct keys among many, so equal keys and their carried values are exercised.
        if (i % 2) input[i].fKey = (float)(int)r.below(300) - 150.0f;
        else input[i].iKey = (int32_t)r.next() - (1 << 23);
        input[i].dwValue = (uint32_t)i;
    }
    struct Form { const char* name; void(GEVRAST_CALL* sort)(SORT_ENTRY*, uint32_t); bool by_float; };
    const Form forms[] = {{"QSortFloatASC", QSortFloatASC, true}, {"QSortFloatDSC", QSortFloatDSC, true},
                          {"QSortIntASC", QSortIntASC, false}, {"QSortIntDSC", QSortIntDSC, false}};
    for (const Form& form : forms) {
        std::vector<SORT_ENTRY> entries(input);
        if (form.by_float)
            for (size_t i = 0; i < n; ++i) entries[i].fKey = (float)(int)(input[i].dwValue * 2654435761u % 500) - 250.0f;
        form.sort(entries.data(), (uint32_t)n);
        Digest d;
        for (const SORT_ENTRY& e : entries) {
            d.add((uint32_t)e.iKey);
            d.add(e.dwValue);
        }
        print_digest(form.name, "exact", n, d);
    }
}

void hash_results(Lcg& r)
{
    const uint32_t n = 5000;
    QBH_TABLE* qbh = QBHCreate();
    VBH_TABLE* vbh = VBHCreate();
    QBHInitialize(qbh, 997, n);
    VBHInitialize(vbh, 997, 12, n);
    std::vector<uint32_t> keys(n);
    std::vector<std::string> names(n);
    std::vector<QBH_ENTRY*> qentries(n);
    std::vector<VBH_ENTRY*> ventries(n);
    for (uint32_t i = 0; i < n; ++i) {
        keys[i] = r.below(3000) * 7919u;  // repeats, so keys carry several values
        names[i].resize(1 + r.below(12));
        for (char& c : names[i]) c = (char)('a' + r.below(4));
        qentries[i] = QBHInsert(qbh, i, keys[i]);
        ventries[i] = VBHInsert(vbh, i, names[i].data(), (uint32_t)names[i].size());
    }
    for (uint32_t i = 0; i < n; i += 3) {  // every third entry goes, newest of its chain or not
        QBHDelete(qbh, qentries[i]);
        VBHDelete(vbh, ventries[i]);
    }
    Digest qd, vd;
    uint32_t qcount = 0, vcount = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t values[8];
        QBH_ENTRY* first = nullptr;
        uint32_t got = QBHSelect(qbh, &first, values, 8, keys[i] + (i % 5 == 0 ? 1 : 0));
        qcount += got;
        for (uint32_t k = 0; k < got; ++k) qd.add(values[k]);
        got = VBHSelect(vbh, values, 8, names[i].data(), (uint32_t)names[i].size());
        vcount += got;
        for (uint32_t k = 0; k < got; ++k) vd.add(values[k]);
    }
    std::vector<uint32_t> all(n);
    const uint32_t qall = QBHGetAllItem(qbh, all.data(), n);
    for (uint32_t k = 0; k < qall; ++k) qd.add(all[k]);
    const uint32_t vall = VBHGetAllItem(vbh, all.data(), n);
    for (uint32_t k = 0; k < vall; ++k) vd.add(all[k]);
    print_digest("QBHSelect+GetAllItem", "exact", qcount + qall, qd);
    print_digest("VBHSelect+GetAllItem", "exact", vcount + vall, vd);
    QBHRelease(qbh);
    VBHRelease(vbh);
}

void bsae_results(Lcg& r)
{
    const uint32_t n = 5000;
    BSAE* map = BSAECreate();
    BSAEInitialize(map, n);
    std::vector<uint32_t> keys(n);
    std::vector<ITEM_CONTAINER*> containers(n);
    for (uint32_t i = 0; i < n; ++i) {
        keys[i] = r.below(4000);
        containers[i] = BSAEInsertItem(map, keys[i], reinterpret_cast<void*>((uintptr_t)i + 1));
    }
    for (uint32_t i = 0; i < n; i += 4) BSAEDeleteItem(map, containers[i]);
    Digest d;
    for (uint32_t key = 0; key < 4000; ++key) d.add((uint32_t)reinterpret_cast<uintptr_t>(BSAESearchItem(map, key)));
    print_digest("BSAEInsert+Delete+Search", "exact", BSAEGetItemNum(map), d);
    BSAERelease(map);
}

void heap_and_pool_results(Lcg& r)
{
    CHeap* heap = VHPCreateHeap();
    VHPInitialize(heap, 0x100000, 1u << 22, 4096, 16, 4, 0);
    std::vector<uint32_t> live(1000);
    Digest d;
    for (uint32_t round = 0; round < 20000; ++round) {
        uint32_t& slot = live[r.below((uint32_t)live.size())];
        if (slot) d.add(VHPFree(heap, slot));
        uint32_t error = 0, bytes = 0;
        slot = VHPAllocUnit(heap, &error, 1 + r.below(16), &bytes, round & 1);
        d.add(slot);
        d.add(error);
        d.add(bytes);
    }
    print_digest("VHPAllocUnit+Free", "exact", live.size(), d);
    VHPReleaseHeap(heap);

    // Pool units are compared as slot numbers: the slot size holds an address-sized header.
    STATIC_MEMORY_POOL* pool = CreateStaticMemoryPool();
    InitializeStaticMemoryPool(pool, 24, 64, 1024);
    const size_t slot_bytes = 24 + sizeof(void*);
    std::vector<void*> units;
    Digest pd;
    for (uint32_t round = 0; round < 20000; ++round) {
        if (!units.empty() && r.below(2)) {
            const size_t at = r.below((uint32_t)units.size());
            LALFree(pool, units[at]);
            units[at] = units.back();
            units.pop_back();
        } else if (void* unit = LALAlloc(pool)) {
            units.push_back(unit);
            pd.add((uint32_t)((static_cast<uint8_t*>(unit) - pool->pDataRegion) / slot_bytes));
        } else {
            pd.add(0xFFFFFFFFu);
        }
    }
    print_digest("LALAlloc+Free", "exact", LALGetAllocatedNum(pool), pd);
    ReleaseStaticMemoryPool(pool);
}

void md5_results(Lcg& r)
{
    std::vector<uint8_t> bytes(200000);
    for (uint8_t& b : bytes) b = (uint8_t)r.next();
    const uint32_t lengths[] = {0, 1, 55, 56, 63, 64, 65, 1000, 4096, 200000};
    MD5_CTX md5;
    for (uint32_t length : lengths) {
        uint8_t digest[16];
        md5.MD5Update(bytes.data(), length);
        md5.MD5Final(digest);
        printf("MD5[%u] exact ", length);
        for (uint8_t b : digest) printf("%02x", b);
        printf("\n");
    }
}

}  // namespace

int main()
{
    Lcg r;
    math_results(r);
    physique_results(r);
    mesh_and_collision_results(r);
    sort_results(r);
    hash_results(r);
    bsae_results(r);
    heap_and_pool_results(r);
    md5_results(r);
    return 0;
}
