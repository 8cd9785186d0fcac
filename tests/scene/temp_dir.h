// A fresh temporary directory for files a test writes, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::filesystem::path& under = std::filesystem::temp_directory_path()) {
        std::string pattern = (under / "prismwafer-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string write(const std::string& name, const std::string& content) const {
        const std::filesystem::path file = path / name;
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
};
