// BuildFaceList and CullBackFace over 10^5 faces of a bumpy terrain grid, against GLM (SSE2 code
// on) and a plain scalar loop computing the same planes, centroids and facing tests.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

static_assert(GLM_CONFIG_SIMD == GLM_ENABLE, "the comparison is with GLM's SIMD code");

namespace {

constexpr uint32_t kFaces = 100000;
// 250 x 250 vertices keep every vertex number within 16 bits; the first 10^5 of the grid's
// 2 * 249 * 249 triangles are used.
constexpr uint32_t kSide = 250;

struct Terrain {
    std::vector<VECTOR3> pos;
    std::vector<uint16_t> idx;
    std::vector<FACE_DESC> faces;
    std::vector<uint16_t> visible;
    VECTOR3 viewer{60, 40, -30};

    Terrain() : faces(kFaces), visible(kFaces)
    {
        for (uint32_t z = 0; z < kSide; ++z)
            for (uint32_t x = 0; x < kSide; ++x)
                pos.push_back({(float)x, 3.0f * std::sin(0.37f * (float)x) * std::cos(0.23f * (float)z), (float)z});
        for (uint32_t f = 0; idx.size() < 3 * kFaces; ++f) {
            const uint32_t cell = f / 2;
            const uint16_t a = (uint16_t)(cell / (kSide - 1) * kSide + cell % (kSide - 1));
            const uint16_t b = (uint16_t)(a + 1), c = (uint16_t)(a + kSide), d = (uint16_t)(a + kSide + 1);
            const uint16_t tri[2][3] = {{a, c, b}, {b, c, d}};
            idx.insert(idx.end(), tri[f % 2], tri[f % 2] + 3);
        }
        BuildFaceList(faces.data(), pos.data(), idx.data(), kFaces);
    }
};

Terrain& terrain()
{
    static Terrain t;
    return t;
}

inline void store_face(FACE_DESC& o, const VECTOR3& center, const PLANE& plane, const uint16_t* tri)
{
    o.v3Center = center;
    o.plane = plane;
    o.wIndex[0] = tri[0];
    o.wIndex[1] = tri[1];
    o.wIndex[2] = tri[2];
    o.wReserved = 0xFFFF;
}

void Build_Gevrast(benchmark::State& state)
{
    Terrain& t = terrain();
    for (auto _ : state) {
        BuildFaceList(t.faces.data(), t.pos.data(), t.idx.data(), kFaces);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

void Build_Glm(benchmark::State& state)
{
    Terrain& t = terrain();
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFaces; ++f) {
            const uint16_t* tri = &t.idx[3 * f];
            const glm::vec3 p0 = glm::make_vec3(&t.pos[tri[0]].x), p1 = glm::make_vec3(&t.pos[tri[1]].x),
                            p2 = glm::make_vec3(&t.pos[tri[2]].x);
            const glm::vec3 n = glm::normalize(glm::cross(p1 - p0, p2 - p0));
            const glm::vec3 c = (p0 + p1 + p2) / 3.0f;
            store_face(t.faces[f], {c.x, c.y, c.z}, {n.x, n.y, n.z, -glm::dot(n, p0)}, tri);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

void Build_Scalar(benchmark::State& state)
{
    Terrain& t = terrain();
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFaces; ++f) {
            const uint16_t* tri = &t.idx[3 * f];
            const VECTOR3 &p0 = t.pos[tri[0]], &p1 = t.pos[tri[1]], &p2 = t.pos[tri[2]];
            const float ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
            const float bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
            float nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
            const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            nx /= len;
            ny /= len;
            nz /= len;
            store_face(t.faces[f], {(p0.x + p1.x + p2.x) / 3, (p0.y + p1.y + p2.y) / 3, (p0.z + p1.z + p2.z) / 3},
                       {nx, ny, nz, -(nx * p0.x + ny * p0.y + nz * p0.z)}, tri);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

void Cull_Gevrast(benchmark::State& state)
{
    Terrain& t = terrain();
    for (auto _ : state) {
        benchmark::DoNotOptimize(CullBackFace(t.visible.data(), t.faces.data(), &t.viewer, kFaces));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

void Cull_Glm(benchmark::State& state)
{
    Terrain& t = terrain();
    const glm::vec4 viewer(t.viewer.x, t.viewer.y, t.viewer.z, 1.0f);
    for (auto _ : state) {
        uint32_t n = 0;
        for (uint32_t f = 0; f < kFaces; ++f)
            if (glm::dot(glm::make_vec4(&t.faces[f].plane.a), viewer) > 0.0f) t.visible[n++] = (uint16_t)f;
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

void Cull_Scalar(benchmark::State& state)
{
    Terrain& t = terrain();
    const VECTOR3 v = t.viewer;
    for (auto _ : state) {
        uint32_t n = 0;
        for (uint32_t f = 0; f < kFaces; ++f) {
            const PLANE& p = t.faces[f].plane;
            if (p.a * v.x + p.b * v.y + p.c * v.z + p.d > 0.0f) t.visible[n++] = (uint16_t)f;
        }
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kFaces);
}

BENCHMARK(Build_Gevrast)->Name("BuildFaceList/gevrast");
BENCHMARK(Build_Glm)->Name("BuildFaceList/glm");
BENCHMARK(Build_Scalar)->Name("BuildFaceList/scalar");
BENCHMARK(Cull_Gevrast)->Name("CullBackFace/gevrast");
BENCHMARK(Cull_Glm)->Name("CullBackFace/glm");
BENCHMARK(Cull_Scalar)->Name("CullBackFace/scalar");

}  // namespace

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "gevrast", {"glm", "scalar"});
    return 0;
}
