// Matrix products and batch transforms against GLM (SSE2 code on) and a plain scalar loop,
// each over 10^3 and 10^6 elements. The three implementations do the same arithmetic on the
// same data: GLM's column-major matrices share our row-major row-vector layout, since
// (A x B)^T = B^T A^T. After the table the ratios of our time to each reference are printed.
//
// Vectors stream through arrays of the full size; matrix products cycle through rings of
// 1024 matrices, so 10^6 products measure arithmetic rather than 192 MB of memory traffic.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

static_assert(GLM_CONFIG_SIMD == GLM_ENABLE, "the comparison is with GLM's SIMD code");

namespace {

constexpr size_t kRing = 1024;
constexpr int64_t kSmall = 1000, kLarge = 1000000;

struct Data {
    MATRIX4 m;
    std::vector<VECTOR3> src3, dst3;
    std::vector<VECTOR4> dst4;
    std::vector<MATRIX4> a, out;
    std::vector<glm::mat4> ga, gout;

    Data() : src3(kLarge), dst3(kLarge), dst4(kLarge), a(kRing), out(kRing), ga(kRing), gout(kRing)
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m.m[r][c] = 0.25f * (float)(r - c) + (r == c ? 1.0f : 0.0f);
        for (size_t i = 0; i < src3.size(); ++i)
            src3[i] = {(float)(i % 97) - 48.0f, (float)(i % 31) * 0.5f, 1.0f / (float)(i % 13 + 1)};
        for (size_t i = 0; i < kRing; ++i) {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) a[i].m[r][c] = (float)((i + 3 * r + c) % 17) * 0.125f - 1.0f;
            ga[i] = glm::make_mat4(&a[i].m[0][0]);
        }
    }
};

Data& data()
{
    static Data d;
    return d;
}

// One pass over state.range(0) elements per iteration, its stores kept, counted as items.
template <typename Pass>
void RunPasses(benchmark::State& state, Pass pass)
{
    const size_t n = (size_t)state.range(0);
    for (auto _ : state) {
        pass(n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)n);
}

glm::mat4 glm_matrix(const Data& d)
{
    return glm::make_mat4(&d.m.m[0][0]);
}

glm::vec4 glm_transform(const glm::mat4& gm, const VECTOR3& v)
{
    return gm * glm::vec4(glm::make_vec3(&v.x), 1.0f);
}

// ---- MatrixMultiply2: out = a x m ----

void MatMul_Gevrast(benchmark::State& state)
{
    Data& d = data();
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) MatrixMultiply2(&d.out[i % kRing], &d.a[i % kRing], &d.m);
    });
}

void MatMul_Glm(benchmark::State& state)
{
    Data& d = data();
    const glm::mat4 gm = glm_matrix(d);
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) d.gout[i % kRing] = gm * d.ga[i % kRing];
    });
}

void MatMul_Scalar(benchmark::State& state)
{
    Data& d = data();
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const MATRIX4& a = d.a[i % kRing];
            MATRIX4& o = d.out[i % kRing];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    o.m[r][c] = a.m[r][0] * d.m.m[0][c] + a.m[r][1] * d.m.m[1][c] + a.m[r][2] * d.m.m[2][c] +
                                a.m[r][3] * d.m.m[3][c];
        }
    });
}

// ---- TransformVector3_VPTR2: dst = (src, 1) x m, three components kept ----

void V3_Gevrast(benchmark::State& state)
{
    Data& d = data();
    RunPasses(state, [&](size_t n) { TransformVector3_VPTR2(d.dst3.data(), d.src3.data(), &d.m, (uint32_t)n); });
}

void V3_Glm(benchmark::State& state)
{
    Data& d = data();
    const glm::mat4 gm = glm_matrix(d);
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const glm::vec4 r = glm_transform(gm, d.src3[i]);
            d.dst3[i] = {r.x, r.y, r.z};
        }
    });
}

void V3_Scalar(benchmark::State& state)
{
    Data& d = data();
    const float(*m)[4] = d.m.m;
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const VECTOR3 v = d.src3[i];
            d.dst3[i] = {v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0],
                         v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1],
                         v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2]};
        }
    });
}

// ---- TransformV3TOV4: dst = (src, 1) x m, four components ----

void V3TOV4_Gevrast(benchmark::State& state)
{
    Data& d = data();
    RunPasses(state, [&](size_t n) { TransformV3TOV4(d.dst4.data(), d.src3.data(), &d.m, (uint32_t)n); });
}

void V3TOV4_Glm(benchmark::State& state)
{
    Data& d = data();
    const glm::mat4 gm = glm_matrix(d);
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const glm::vec4 r = glm_transform(gm, d.src3[i]);
            d.dst4[i] = {r.x, r.y, r.z, r.w};
        }
    });
}

void V3TOV4_Scalar(benchmark::State& state)
{
    Data& d = data();
    const float(*m)[4] = d.m.m;
    RunPasses(state, [&](size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const VECTOR3 v = d.src3[i];
            VECTOR4& o = d.dst4[i];
            o.x = v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + m[3][0];
            o.y = v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + m[3][1];
            o.z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + m[3][2];
            o.w = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + m[3][3];
        }
    });
}

#define MATH_BENCH(fn, name) BENCHMARK(fn)->Name(name)->Arg(kSmall)->Arg(kLarge)
MATH_BENCH(MatMul_Gevrast, "MatrixMultiply2/gevrast");
MATH_BENCH(MatMul_Glm, "MatrixMultiply2/glm");
MATH_BENCH(MatMul_Scalar, "MatrixMultiply2/scalar");
MATH_BENCH(V3_Gevrast, "TransformVector3_VPTR2/gevrast");
MATH_BENCH(V3_Glm, "TransformVector3_VPTR2/glm");
MATH_BENCH(V3_Scalar, "TransformVector3_VPTR2/scalar");
MATH_BENCH(V3TOV4_Gevrast, "TransformV3TOV4/gevrast");
MATH_BENCH(V3TOV4_Glm, "TransformV3TOV4/glm");
MATH_BENCH(V3TOV4_Scalar, "TransformV3TOV4/scalar");

}  // namespace

int main(int argc, char** argv)
{
    bench::RunWithRatios(argc, argv, "gevrast", {"glm", "scalar"});
    return 0;
}
