// The four physique skinning transforms over 10^5 vertices with 1 to 4 weights each, against
// GLM (SSE2 code on) and a plain scalar loop doing the same blend on the same records. GLM's
// column-major matrix made from our row-major floats applies our row-vector convention:
// glm::make_mat4(m) * v = v x M.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "GevrastSSE.h"
#include "ratio_reporter.h"

static_assert(GLM_CONFIG_SIMD == GLM_ENABLE, "the comparison is with GLM's SIMD code");

namespace {

constexpr uint32_t kVertices = 100000;
constexpr uint32_t kBones = 64;

// One skinned mesh per weight count; the weight records lie in vertex order, as an exporter
// writes them, and each vertex picks its bones at random.
struct Mesh {
    std::vector<BONE_WEIGHT> weights;
    std::vector<PHYSIQUE_VERTEX> vertices;
    std::vector<TEXCOORD2> uv;
    std::vector<SKIN_VERTEX> out;

    explicit Mesh(uint32_t per_vertex) : weights(kVertices * per_vertex), vertices(kVertices), uv(kVertices), out(kVertices)
    {
        uint32_t s = 99;
        auto next = [&s]() {
            s = s * 1664525u + 1013904223u;
            return (float)((s >> 8) * (1.0 / 16777216.0));
        };
        for (uint32_t i = 0; i < kVertices; ++i) {
            vertices[i].bWeightCount = (uint8_t)per_vertex;
            vertices[i].pWeight = &weights[i * per_vertex];
            uv[i] = {next(), next()};
            for (uint32_t k = 0; k < per_vertex; ++k) {
                BONE_WEIGHT& w = weights[i * per_vertex + k];
                w.dwBoneIndex = (uint32_t)(next() * kBones) % kBones;
                w.fWeight = 1.0f / (float)per_vertex;
                w.v3Pos = {next() * 2 - 1, next() * 2 - 1, next() * 2 - 1};
                w.v3Normal = {next(), next(), next()};
                w.v3Tangent = {next(), next(), next()};
            }
        }
    }
};

struct Bones {
    std::vector<MATRIX4> m;
    std::vector<glm::mat4> g;
    Bones() : m(kBones), g(kBones)
    {
        for (uint32_t b = 0; b < kBones; ++b) {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) m[b].m[r][c] = (r == c ? 1.0f : 0.0f) + 0.01f * (float)((b + r * 4 + c) % 7);
            m[b].m[0][3] = m[b].m[1][3] = m[b].m[2][3] = 0;
            m[b].m[3][3] = 1;
            g[b] = glm::make_mat4(&m[b].m[0][0]);
        }
    }
};

Mesh& mesh(uint32_t per_vertex)
{
    static Mesh meshes[4] = {Mesh(1), Mesh(2), Mesh(3), Mesh(4)};
    return meshes[per_vertex - 1];
}

Bones& bones()
{
    static Bones b;
    return b;
}

enum Kind { kPos, kPosNormal, kPosNormalUV, kPosUV };

void Gevrast(benchmark::State& state, Kind kind)
{
    Mesh& m = mesh((uint32_t)state.range(0));
    const MATRIX4* b = bones().m.data();
    for (auto _ : state) {
        switch (kind) {
        case kPos: PhysiqueTransform(m.out.data(), m.vertices.data(), kVertices, sizeof(SKIN_VERTEX), b); break;
        case kPosNormal:
            PhysiqueTransformPosAndNormal(m.out.data(), m.vertices.data(), kVertices, sizeof(SKIN_VERTEX), b);
            break;
        case kPosNormalUV:
            PhysiqueTransformPosAndNormalAndUV(m.out.data(), m.vertices.data(), m.uv.data(), kVertices,
                                               sizeof(SKIN_VERTEX), b);
            break;
        case kPosUV:
            PhysiqueTransformPosAndWriteUV(m.out.data(), m.vertices.data(), m.uv.data(), kVertices,
                                           sizeof(SKIN_VERTEX), b);
            break;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kVertices);
}

void Glm(benchmark::State& state, Kind kind)
{
    Mesh& m = mesh((uint32_t)state.range(0));
    const glm::mat4* b = bones().g.data();
    const bool normals = kind == kPosNormal || kind == kPosNormalUV, uv = kind == kPosNormalUV || kind == kPosUV;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kVertices; ++i) {
            const PHYSIQUE_VERTEX& v = m.vertices[i];
            glm::vec4 pos(0.0f), normal(0.0f), tangent(0.0f);
            for (uint32_t k = 0; k < v.bWeightCount; ++k) {
                const BONE_WEIGHT& w = v.pWeight[k];
                const glm::mat4& bone = b[w.dwBoneIndex];
                pos += w.fWeight * (bone * glm::vec4(w.v3Pos.x, w.v3Pos.y, w.v3Pos.z, 1.0f));
                if (normals) {
                    normal += w.fWeight * (bone * glm::vec4(w.v3Normal.x, w.v3Normal.y, w.v3Normal.z, 0.0f));
                    tangent += w.fWeight * (bone * glm::vec4(w.v3Tangent.x, w.v3Tangent.y, w.v3Tangent.z, 0.0f));
                }
            }
            SKIN_VERTEX& o = m.out[i];
            o.v3Pos = {pos.x, pos.y, pos.z};
            if (normals) {
                o.v3Normal = {normal.x, normal.y, normal.z};
                o.v3Tangent = {tangent.x, tangent.y, tangent.z};
            }
            if (uv) {
                o.fU = m.uv[i].u;
                o.fV = m.uv[i].v;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kVertices);
}

void Scalar(benchmark::State& state, Kind kind)
{
    Mesh& m = mesh((uint32_t)state.range(0));
    const MATRIX4* b = bones().m.data();
    const bool normals = kind == kPosNormal || kind == kPosNormalUV, uv = kind == kPosNormalUV || kind == kPosUV;
    for (auto _ : state) {
        for (uint32_t i = 0; i < kVertices; ++i) {
            const PHYSIQUE_VERTEX& v = m.vertices[i];
            float pos[3] = {}, normal[3] = {}, tangent[3] = {};
            for (uint32_t k = 0; k < v.bWeightCount; ++k) {
                const BONE_WEIGHT& w = v.pWeight[k];
                const float(*r)[4] = b[w.dwBoneIndex].m;
                for (int c = 0; c < 3; ++c) {
                    pos[c] += w.fWeight * (w.v3Pos.x * r[0][c] + w.v3Pos.y * r[1][c] + w.v3Pos.z * r[2][c] + r[3][c]);
                    if (normals) {
                        normal[c] += w.fWeight * (w.v3Normal.x * r[0][c] + w.v3Normal.y * r[1][c] + w.v3Normal.z * r[2][c]);
                        tangent[c] +=
                            w.fWeight * (w.v3Tangent.x * r[0][c] + w.v3Tangent.y * r[1][c] + w.v3Tangent.z * r[2][c]);
                    }
                }
            }
            SKIN_VERTEX& o = m.out[i];
            o.v3Pos = {pos[0], pos[1], pos[2]};
            if (normals) {
                o.v3Normal = {normal[0], normal[1], normal[2]};
                o.v3Tangent = {tangent[0], tangent[1], tangent[2]};
            }
            if (uv) {
                o.fU = m.uv[i].u;
                o.fV = m.uv[i].v;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)kVertices);
}

void Register()
{
    const struct {
        const char* name;
        Kind kind;
    } kinds[] = {{"PhysiqueTransform", kPos},
                 {"PhysiqueTransformPosAndNormal", kPosNormal},
                 {"PhysiqueTransformPosAndNormalAndUV", kPosNormalUV},
                 {"PhysiqueTransformPosAndWriteUV", kPosUV}};
    for (const auto& k : kinds) {
        const std::string base = k.name;
        benchmark::RegisterBenchmark((base + "/gevrast").c_str(), Gevrast, k.kind)->DenseRange(1, 4);
        benchmark::RegisterBenchmark((base + "/glm").c_str(), Glm, k.kind)->DenseRange(1, 4);
        benchmark::RegisterBenchmark((base + "/scalar").c_str(), Scalar, k.kind)->DenseRange(1, 4);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Register();
    bench::RunWithRatios(argc, argv, "gevrast", {"glm", "scalar"});
    return 0;
}
