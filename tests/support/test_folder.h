#pragma once

// A fresh temporary folder per test, removed with everything in it.

#include <filesystem>
#include <string>
#include <string_view>

namespace tremlo::test {

class TestFolder {
public:
    TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    ~TestFolder();

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }

private:
    std::string m_path;
};

std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, std::string_view bytes);
std::string toCp932(std::string_view utf8);

} // namespace tremlo::test
