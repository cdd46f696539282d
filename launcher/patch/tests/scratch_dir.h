// A folder of its own per test case (cases run as parallel processes), removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchDir {
public:
    explicit ScratchDir(const std::string& name)
        : path_(std::filesystem::path(::testing::TempDir()) / ("ql_patch_" + name))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& Path() const { return path_; }
    // The folder as the launcher holds it: wide, no trailing separator.
    std::wstring Wide() const { return path_.wstring(); }

    // relative uses '/' between folders; missing folders are created.
    void Write(const std::string& relative, const std::string& bytes) const
    {
        std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(path_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(path_ / relative); }

private:
    std::filesystem::path path_;
};
