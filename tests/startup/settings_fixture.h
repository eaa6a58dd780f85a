// A fixture that runs each test in a fresh temporary working directory, so
// tests that read or write plumo.conf never touch a real one.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class SettingsDirectory : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/plumo-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    static void writeSettingsFile(const std::vector<uint8_t>& bytes) {
        std::ofstream file("plumo.conf", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static std::vector<uint8_t> readSettingsFile() {
        std::ifstream file("plumo.conf", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::filesystem::path directory;
    std::filesystem::path previous;
};
