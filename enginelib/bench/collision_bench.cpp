// IntersectTriangle in a loop over 4096 ray-triangle pairs (about half of them hits), against
// GLM's ray-triangle intersection (SSE2 code on) and a plain scalar loop of the same arithmetic,
// inlined. All three test both faces of each triangle (culling off). GLM scales by one
// reciprocal of the determinant where we divide t, u and v by it.
#define GLM_ENABLE_EXPERIMENTAL
#include <benchmark/benchmark.h>

#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/intersect.hpp>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

static_assert(GLM_CONFIG_SIMD == GLM_ENABLE, "the comparison is with GLM's SIMD code");

namespace {

constexpr size_t kPairs = 4096;

struct Pair {
    VECTOR3 origin, direction, c0, c1, c2;
};

const std::vector<Pair>& pairs()
{
    static const std::vector<Pair> all = [] {
        std::vector<Pair> v(kPairs);
        uint32_t s = 5;
        auto next = [&s](float lo, float hi) {
            s = s * 1664525u + 1013904223u;
            return lo + (hi - lo) * (float)((s >> 8) * (1.0 / 16777216.0));
        };
        for (Pair& p : v) {
            p.c0 = {next(-1, 1), next(-1, 1), next(-1, 1)};
            p.c1 = {next(-1, 1), next(-1, 1), next(-1, 1)};
            p.c2 = {next(-1, 1), next(-1, 1), next(-1, 1)};
            p.origin = {next(-4, 4), next(-4, 4), next(-8, -4)};
            const VECTOR3 aim{next(-0.6f, 0.6f), next(-0.6f, 0.6f), 0};
            p.direction = {aim.x - p.origin.x, aim.y - p.origin.y, aim.z - p.origin.z};
        }
        return v;
    }();
    return all;
}

void Gevrast(benchmark::State& state)
{
    const std::vector<Pair>& v = pairs();
    for (auto _ : state) {
        uint32_t hits = 0;
        for (const Pair& p : v) {
            float t, u, w;
            hits += IntersectTriangle(nullptr, &p.origin, &p.direction, &p.c0, &p.c1, &p.c2, &t, &u, &w, 0);
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kPairs);
}

void Glm(benchmark::State& state)
{
    const std::vector<Pair>& v = pairs();
    for (auto _ : state) {
        uint32_t hits = 0;
        for (const Pair& p : v) {
            glm::vec2 bary;
            float distance;
            hits += glm::intersectRayTriangle(glm::make_vec3(&p.origin.x), glm::make_vec3(&p.direction.x),
                                              glm::make_vec3(&p.c0.x), glm::make_vec3(&p.c1.x),
                                              glm::make_vec3(&p.c2.x), bary, distance);
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kPairs);
}

inline void sub(float* o, const VECTOR3& a, const VECTOR3& b) { o[0] = a.x - b.x, o[1] = a.y - b.y, o[2] = a.z - b.z; }
inline void cross(float* o, const float* a, const float* b)
{
    o[0] = a[1] * b[2] - a[2] * b[1], o[1] = a[2] * b[0] - a[0] * b[2], o[2] = a[0] * b[1] - a[1] * b[0];
}
inline float dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Scalar(benchmark::State& state)
{
    const std::vector<Pair>& v = pairs();
    for (auto _ : state) {
        uint32_t hits = 0;
        for (const Pair& pr : v) {
            float e1[3], e2[3], s[3], p[3], q[3];
            const float d[3] = {pr.direction.x, pr.direction.y, pr.direction.z};
            sub(e1, pr.c1, pr.c0);
            sub(e2, pr.c2, pr.c0);
            cross(p, d, e2);
            float det = dot(e1, p);
            if (det > 0) {
                sub(s, pr.origin, pr.c0);
            } else {
                sub(s, pr.c0, pr.origin);
                det = -det;
            }
            if (det < 0.0001f) continue;
            const float u = dot(s, p);
            if (u < 0 || u > det) continue;
            cross(q, s, e1);
            const float w = dot(d, q);
            if (w < 0 || u + w > det) continue;
            // The same results as ours: t and the two scaled weights, each a true division.
            float t = dot(e2, q) / det, su = u / det, sv = w / det;
            benchmark::DoNotOptimize(t);
            benchmark::DoNotOptimize(su);
            benchmark::DoNotOptimize(sv);
            ++hits;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kPairs);
}

BENCHMARK(Gevrast)->Name("IntersectTriangle/gevrast");
BENCHMARK(Glm)->Name("IntersectTriangle/glm");
BENCHMARK(Scalar)->Name("IntersectTriangle/scalar");

}  // namespace

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "gevrast", {"glm", "scalar"});
    return 0;
}
