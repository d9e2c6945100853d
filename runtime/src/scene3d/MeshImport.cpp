#include "scene3d/MeshImport.h"

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <unordered_map>

namespace TAVELOR {

namespace {

// ---- Files handed to Assimp from memory -------------------------------------------------

class BufferStream : public Assimp::IOStream {
 public:
  explicit BufferStream(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(void* out, std::size_t size, std::size_t count) override {
    if (size == 0) return 0;
    const std::size_t n = std::min(count, (bytes_.size() - pos_) / size);
    std::memcpy(out, bytes_.data() + pos_, n * size);
    pos_ += n * size;
    return n;
  }
  std::size_t Write(const void*, std::size_t, std::size_t) override { return 0; }
  aiReturn Seek(std::size_t offset, aiOrigin origin) override {
    std::size_t to = offset;
    if (origin == aiOrigin_CUR) {
      if (offset > bytes_.size() - pos_) return aiReturn_FAILURE;
      to = pos_ + offset;
    } else if (origin == aiOrigin_END) {
      if (offset > bytes_.size()) return aiReturn_FAILURE;
      to = bytes_.size() - offset;
    }
    if (to > bytes_.size()) return aiReturn_FAILURE;
    pos_ = to;
    return aiReturn_SUCCESS;
  }
  std::size_t Tell() const override { return pos_; }
  std::size_t FileSize() const override { return bytes_.size(); }
  void Flush() override {}

 private:
  std::vector<unsigned char> bytes_;
  std::size_t pos_ = 0;
};

// The mesh file itself under a fixed name, everything else through the companion reader.
class CompanionSystem : public Assimp::IOSystem {
 public:
  CompanionSystem(const std::vector<unsigned char>& main, std::string mainName, CompanionReader reader)
      : main_(main), mainName_(std::move(mainName)), reader_(std::move(reader)) {}
  bool Exists(const char* file) const override { return Fetch(file) != nullptr; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a'))) return nullptr;
    const std::vector<unsigned char>* bytes = Fetch(file);
    return bytes ? new BufferStream(*bytes) : nullptr;
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

 private:
  const std::vector<unsigned char>* Fetch(const char* file) const {
    if (!file) return nullptr;
    std::string name = file;
    std::replace(name.begin(), name.end(), '\\', '/');
    while (name.rfind("./", 0) == 0) name.erase(0, 2);
    if (name == mainName_) return &main_;
    if (name.empty() || !reader_) return nullptr;
    auto found = cache_.find(name);
    if (found == cache_.end()) {
      std::vector<unsigned char> bytes;
      const bool ok = reader_(name, &bytes) && bytes.size() <= kMaxMeshFile;
      found = cache_.emplace(name, ok ? std::make_unique<std::vector<unsigned char>>(std::move(bytes)) : nullptr).first;
    }
    return found->second.get();
  }

  const std::vector<unsigned char>& main_;
  std::string mainName_;
  CompanionReader reader_;
  mutable std::map<std::string, std::unique_ptr<std::vector<unsigned char>>> cache_;
};

// ---- Sampling a pose ----------------------------------------------------------------------

double KeyTime(double ticks, double ticksPerSecond) { return ticks / ticksPerSecond; }

// The keys around time t (seconds): indices a <= b and the blend factor between them.
template <typename Key>
void Bracket(const Key* keys, unsigned n, double t, double tps, unsigned* a, unsigned* b, double* f) {
  *a = *b = 0;
  *f = 0;
  if (n == 0 || t <= KeyTime(keys[0].mTime, tps)) return;
  unsigned i = 0;
  while (i + 1 < n && KeyTime(keys[i + 1].mTime, tps) <= t) ++i;
  *a = *b = i;
  if (i + 1 >= n) return;
  const double t0 = KeyTime(keys[i].mTime, tps), t1 = KeyTime(keys[i + 1].mTime, tps);
  *b = i + 1;
  *f = t1 > t0 ? (t - t0) / (t1 - t0) : 0;
}

aiMatrix4x4 LocalTransform(const aiNode* node, const aiNodeAnim* channel, double t, double tps) {
  if (!channel) return node->mTransformation;
  aiVector3D scaling, position;
  aiQuaternion rotation;
  node->mTransformation.Decompose(scaling, rotation, position);
  unsigned a, b;
  double f;
  if (channel->mNumPositionKeys > 0) {
    Bracket(channel->mPositionKeys, channel->mNumPositionKeys, t, tps, &a, &b, &f);
    position = channel->mPositionKeys[a].mValue +
               (channel->mPositionKeys[b].mValue - channel->mPositionKeys[a].mValue) * static_cast<ai_real>(f);
  }
  if (channel->mNumRotationKeys > 0) {
    Bracket(channel->mRotationKeys, channel->mNumRotationKeys, t, tps, &a, &b, &f);
    aiQuaternion::Interpolate(rotation, channel->mRotationKeys[a].mValue, channel->mRotationKeys[b].mValue,
                              static_cast<ai_real>(f));
    rotation.Normalize();
  }
  if (channel->mNumScalingKeys > 0) {
    Bracket(channel->mScalingKeys, channel->mNumScalingKeys, t, tps, &a, &b, &f);
    scaling = channel->mScalingKeys[a].mValue +
              (channel->mScalingKeys[b].mValue - channel->mScalingKeys[a].mValue) * static_cast<ai_real>(f);
  }
  return aiMatrix4x4(scaling, rotation, position);
}

// Morph target weights of a mesh at time t: the animation's, else the mesh's own.
std::vector<double> MorphWeights(const aiMesh* mesh, const aiMeshMorphAnim* channel, double t, double tps) {
  std::vector<double> w(mesh->mNumAnimMeshes, 0.0);
  for (unsigned i = 0; i < mesh->mNumAnimMeshes; ++i) w[i] = mesh->mAnimMeshes[i]->mWeight;
  if (!channel || channel->mNumKeys == 0) return w;
  unsigned a, b;
  double f;
  Bracket(channel->mKeys, channel->mNumKeys, t, tps, &a, &b, &f);
  auto weightsOf = [&](const aiMeshMorphKey& key) {
    std::vector<double> k(w.size(), 0.0);
    for (unsigned j = 0; j < key.mNumValuesAndWeights; ++j)
      if (key.mValues[j] < k.size()) k[key.mValues[j]] = key.mWeights[j];
    return k;
  };
  const std::vector<double> ka = weightsOf(channel->mKeys[a]), kb = weightsOf(channel->mKeys[b]);
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = ka[i] + (kb[i] - ka[i]) * f;
  return w;
}

struct Vertex {
  aiVector3D position, normal;
};

aiVector3D TransformNormal(const aiMatrix4x4& m, const aiVector3D& n) {
  aiMatrix3x3 r(m);
  r.Inverse().Transpose();
  aiVector3D out = r * n;
  const ai_real length = out.Length();
  return length > 0 ? out / length : out;
}

std::uint32_t PackColour(const aiColor4D& c) {
  auto byte = [](ai_real v) {
    return static_cast<std::uint32_t>(std::lround(std::clamp<double>(std::isnan(v) ? 1.0 : v, 0.0, 1.0) * 255.0));
  };
  return byte(c.r) | byte(c.g) << 8 | byte(c.b) << 16;
}

std::uint32_t MaterialColour(const aiScene* scene, const aiMesh* mesh) {
  if (mesh->mMaterialIndex >= scene->mNumMaterials) return 0xFFFFFF;
  const aiMaterial* m = scene->mMaterials[mesh->mMaterialIndex];
  aiColor4D c(1, 1, 1, 1);
  if (m->Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || m->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
    return PackColour(c);
  return 0xFFFFFF;
}

// What one frame is drawn from: every triangle mesh of every node, in tree order.
struct Instance {
  const aiNode* node;
  const aiMesh* mesh;
};

void CollectInstances(const aiScene* scene, const aiNode* node, std::vector<Instance>* out, int depth) {
  if (!node || depth > 256) return;
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    if (node->mMeshes[i] >= scene->mNumMeshes) continue;
    const aiMesh* mesh = scene->mMeshes[node->mMeshes[i]];
    if (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) out->push_back({node, mesh});
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) CollectInstances(scene, node->mChildren[i], out, depth + 1);
}

class Sampler {
 public:
  Sampler(const aiScene* scene, const aiAnimation* animation) : scene_(scene), animation_(animation) {
    tps_ = animation && animation->mTicksPerSecond > 0 ? animation->mTicksPerSecond : kImportFramesPerSecond;
    for (unsigned i = 0; animation && i < animation->mNumChannels; ++i)
      channels_[animation->mChannels[i]->mNodeName.C_Str()] = animation->mChannels[i];
    for (unsigned i = 0; animation && i < animation->mNumMorphMeshChannels; ++i)
      morphs_[animation->mMorphMeshChannels[i]->mName.C_Str()] = animation->mMorphMeshChannels[i];
  }

  // World transforms of every node at time t.
  void Pose(double t) {
    global_.clear();
    Walk(scene_->mRootNode, aiMatrix4x4(), t, 0);
    time_ = t;
  }

  // The posed vertices of one mesh instance.
  std::vector<Vertex> Vertices(const Instance& in) const {
    const aiMesh* mesh = in.mesh;
    std::vector<Vertex> v(mesh->mNumVertices);
    for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
      v[i].position = mesh->mVertices[i];
      v[i].normal = mesh->mNormals ? mesh->mNormals[i] : aiVector3D(0, 0, 0);
    }
    ApplyMorphs(in, &v);
    if (mesh->mNumBones > 0) return Skinned(in, v);
    const aiMatrix4x4& m = Global(in.node);
    for (Vertex& x : v) {
      x.position = m * x.position;
      x.normal = TransformNormal(m, x.normal);
    }
    return v;
  }

 private:
  void Walk(const aiNode* node, const aiMatrix4x4& parent, double t, int depth) {
    if (!node || depth > 256) return;
    auto channel = channels_.find(node->mName.C_Str());
    const aiMatrix4x4 global =
        parent * LocalTransform(node, channel == channels_.end() ? nullptr : channel->second, t, tps_);
    global_[node] = global;
    for (unsigned i = 0; i < node->mNumChildren; ++i) Walk(node->mChildren[i], global, t, depth + 1);
  }

  const aiMatrix4x4& Global(const aiNode* node) const {
    static const aiMatrix4x4 identity;
    auto found = global_.find(node);
    return found == global_.end() ? identity : found->second;
  }

  void ApplyMorphs(const Instance& in, std::vector<Vertex>* v) const {
    const aiMesh* mesh = in.mesh;
    if (mesh->mNumAnimMeshes == 0) return;
    auto channel = morphs_.find(in.node->mName.C_Str());
    if (channel == morphs_.end()) channel = morphs_.find(mesh->mName.C_Str());
    const std::vector<double> w =
        MorphWeights(mesh, channel == morphs_.end() ? nullptr : channel->second, time_, tps_);
    const std::vector<Vertex> base = *v;
    for (unsigned j = 0; j < mesh->mNumAnimMeshes; ++j) {
      const aiAnimMesh* target = mesh->mAnimMeshes[j];
      if (w[j] == 0 || target->mNumVertices != mesh->mNumVertices) continue;
      const auto f = static_cast<ai_real>(w[j]);
      for (unsigned i = 0; i < mesh->mNumVertices; ++i) {
        if (target->mVertices) (*v)[i].position += (target->mVertices[i] - base[i].position) * f;
        if (target->mNormals) (*v)[i].normal += (target->mNormals[i] - base[i].normal) * f;
      }
    }
  }

  std::vector<Vertex> Skinned(const Instance& in, const std::vector<Vertex>& v) const {
    const aiMesh* mesh = in.mesh;
    std::vector<Vertex> out(v.size());
    std::vector<ai_real> total(v.size(), 0);
    for (unsigned b = 0; b < mesh->mNumBones; ++b) {
      const aiBone* bone = mesh->mBones[b];
      const aiNode* joint = scene_->mRootNode->FindNode(bone->mName);
      const aiMatrix4x4 m = (joint ? Global(joint) : Global(in.node)) * bone->mOffsetMatrix;
      for (unsigned k = 0; k < bone->mNumWeights; ++k) {
        const aiVertexWeight& w = bone->mWeights[k];
        if (w.mVertexId >= v.size() || !(w.mWeight > 0)) continue;
        out[w.mVertexId].position += (m * v[w.mVertexId].position) * w.mWeight;
        out[w.mVertexId].normal += TransformNormal(m, v[w.mVertexId].normal) * w.mWeight;
        total[w.mVertexId] += w.mWeight;
      }
    }
    // Vertices no joint moves stay with the mesh's node.
    const aiMatrix4x4& own = Global(in.node);
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (total[i] > 0) {
        out[i].position /= total[i];
        out[i].normal.NormalizeSafe();
      } else {
        out[i].position = own * v[i].position;
        out[i].normal = TransformNormal(own, v[i].normal);
      }
    }
    return out;
  }

  const aiScene* scene_;
  const aiAnimation* animation_;
  double tps_ = kImportFramesPerSecond;
  double time_ = 0;
  std::unordered_map<std::string, const aiNodeAnim*> channels_;
  std::unordered_map<std::string, const aiMeshMorphAnim*> morphs_;
  std::unordered_map<const aiNode*, aiMatrix4x4> global_;
};

bool Fail(MeshImportInfo* info, MeshObject* out, const std::string& why) {
  out->Clear(true);
  if (info) info->error = why;
  return false;
}

const char* MainName(MeshFormat format) {
  switch (format) {
    case MeshFormat::Gltf: return "mesh.gltf";
    case MeshFormat::Glb: return "mesh.glb";
    default: return "mesh.obj";
  }
}

std::uint32_t Reduced(std::uint32_t c) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) out |= ((((c >> shift) & 255) + 25) / 51 * 51) << shift;
  return out;
}

}  // namespace

MeshFormat SniffMesh(const unsigned char* b, std::size_t n) {
  if (!b || n < 4) return MeshFormat::None;
  const std::uint32_t magic = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  if (magic == kDddMagic) return MeshFormat::Ddd;
  if (std::memcmp(b, "glTF", 4) == 0) return MeshFormat::Glb;
  std::size_t i = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) i = 3;  // UTF-8 byte order mark
  while (i < n && std::isspace(b[i])) ++i;
  if (i < n && b[i] == '{') return MeshFormat::Gltf;
  // OBJ: text whose lines include a vertex ("v ") or face ("f ") statement.
  const std::size_t end = std::min<std::size_t>(n, 65536);
  bool statement = false;
  for (std::size_t k = 0; k < end; ++k) {
    if (b[k] == 0) return MeshFormat::None;
    const bool lineStart = k == 0 || b[k - 1] == '\n';
    if (lineStart && k + 1 < n && (b[k] == 'v' || b[k] == 'f') && (b[k + 1] == ' ' || b[k + 1] == '\t'))
      statement = true;
  }
  return statement ? MeshFormat::Obj : MeshFormat::None;
}

bool ImportMesh(const std::vector<unsigned char>& bytes, MeshFormat format, const CompanionReader& companions,
                MeshObject* out, MeshImportInfo* info) {
  out->Clear(true);
  if (format != MeshFormat::Gltf && format != MeshFormat::Glb && format != MeshFormat::Obj)
    return Fail(info, out, "not a glTF or OBJ file");
  if (bytes.size() > kMaxMeshFile) return Fail(info, out, "file too large");

  Assimp::Importer importer;
  importer.SetIOHandler(new CompanionSystem(bytes, MainName(format), companions));
  importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
  const aiScene* scene =
      importer.ReadFile(MainName(format), aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_GenSmoothNormals |
                                              aiProcess_FlipUVs | aiProcess_ValidateDataStructure);
  if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE))
    return Fail(info, out, importer.GetErrorString());

  std::vector<Instance> instances;
  CollectInstances(scene, scene->mRootNode, &instances, 0);
  std::size_t triangles = 0;
  for (const Instance& in : instances) {
    for (unsigned f = 0; f < in.mesh->mNumFaces; ++f) triangles += in.mesh->mFaces[f].mNumIndices == 3;
  }
  if (triangles == 0) return Fail(info, out, "no triangles");
  if (triangles > kMaxImportTriangles) return Fail(info, out, "too many triangles");

  const aiAnimation* animation = scene->mNumAnimations > 0 ? scene->mAnimations[0] : nullptr;
  int frames = 1;
  if (animation) {
    const double tps = animation->mTicksPerSecond > 0 ? animation->mTicksPerSecond : kImportFramesPerSecond;
    const double seconds = animation->mDuration / tps;
    // Frame k is the pose at k / 25 s, up to the last key.
    if (!(seconds >= 0) || seconds * kImportFramesPerSecond > kMaxImportFrames)
      return Fail(info, out, "animation too long");
    frames = static_cast<int>(std::lround(seconds * kImportFramesPerSecond)) + 1;
    if (frames > kMaxImportFrames) return Fail(info, out, "animation too long");
  }
  const std::size_t nodes = 1 + 3 * triangles;
  if (nodes * static_cast<std::size_t>(frames) > kMaxImportNodes) return Fail(info, out, "too many vertices");

  // Colours and texture coordinates are the same in every frame.
  std::vector<std::uint32_t> colours;
  std::vector<std::pair<float, float>> uvs;
  colours.reserve(nodes);
  uvs.reserve(nodes);
  for (const Instance& in : instances) {
    const aiMesh* mesh = in.mesh;
    const std::uint32_t material = MaterialColour(scene, mesh);
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      const aiFace& face = mesh->mFaces[f];
      if (face.mNumIndices != 3) continue;
      for (int k = 0; k < 3; ++k) {
        const unsigned i = face.mIndices[k];
        colours.push_back(mesh->HasVertexColors(0) ? PackColour(mesh->mColors[0][i]) : material);
        const aiVector3D uv = mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][i] : aiVector3D(0, 0, 0);
        uvs.emplace_back(static_cast<float>(uv.x), static_cast<float>(uv.y));
      }
    }
  }
  // One palette entry goes to the group marker.
  if (std::set<std::uint32_t>(colours.begin(), colours.end()).size() > 255) {
    for (std::uint32_t& c : colours) c = Reduced(c);
  }

  Sampler sampler(scene, animation);
  if (!out->frames.Reserve(frames + 1)) return Fail(info, out, "out of memory");
  for (int k = 0; k < frames; ++k) {
    sampler.Pose(static_cast<double>(k) / kImportFramesPerSecond);
    POLY_FRAME frame;
    if (!frame.source.Reserve(static_cast<std::int64_t>(nodes) + 1)) return Fail(info, out, "out of memory");
    POLY_NODE marker{};
    marker.colour = kGroupList;
    marker.rgb[0] = marker.rgb[1] = marker.rgb[2] = 1.0f;
    frame.source.Append(marker);
    std::size_t at = 0;
    for (const Instance& in : instances) {
      const std::vector<Vertex> posed = sampler.Vertices(in);
      for (unsigned f = 0; f < in.mesh->mNumFaces; ++f) {
        const aiFace& face = in.mesh->mFaces[f];
        if (face.mNumIndices != 3) continue;
        for (int c = 0; c < 3; ++c, ++at) {
          const Vertex& v = posed[face.mIndices[c]];
          POLY_NODE node{};
          node.position[0] = static_cast<float>(v.position.x);
          node.position[1] = static_cast<float>(v.position.y);
          node.position[2] = static_cast<float>(v.position.z);
          node.normal[0] = static_cast<float>(v.normal.x);
          node.normal[1] = static_cast<float>(v.normal.y);
          node.normal[2] = static_cast<float>(v.normal.z);
          node.u = uvs[at].first;
          node.v = uvs[at].second;
          node.colour = colours[at];
          for (int i = 0; i < 3; ++i) node.rgb[i] = static_cast<float>((colours[at] >> (8 * i)) & 255) / 255.0f;
          frame.source.Append(node);
        }
      }
    }
    out->frames.Append(std::move(frame));
  }
  out->Compress();
  out->normalsValid = 1;

  if (info) {
    info->frames = frames;
    info->triangles = triangles;
    info->textures.clear();
    for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
      aiString path;
      if (scene->mMaterials[m]->GetTexture(aiTextureType_BASE_COLOR, 0, &path) != AI_SUCCESS &&
          scene->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS) {
        continue;
      }
      const std::string name = path.C_Str();
      if (!name.empty() && std::find(info->textures.begin(), info->textures.end(), name) == info->textures.end())
        info->textures.push_back(name);
    }
  }
  return true;
}

bool ReadMeshFile(const char* path, std::vector<unsigned char>* bytes) {
  std::error_code ec;
  if (!path || !std::filesystem::is_regular_file(path, ec)) return false;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxMeshFile) return false;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  bytes->resize(static_cast<std::size_t>(size));
  const bool ok = std::fread(bytes->data(), 1, bytes->size(), f) == bytes->size();
  std::fclose(f);
  return ok;
}

CompanionReader DiskCompanions(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return [folder](const std::string& name, std::vector<unsigned char>* bytes) {
    return ReadMeshFile((folder / name).string().c_str(), bytes);
  };
}

}  // namespace TAVELOR
