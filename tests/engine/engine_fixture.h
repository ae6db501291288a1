// What the engine tests share: the built module, loaded once, and the texts
// and bit views the cases compare against.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "subhost/control.h"
#include "subhost/engine.h"

namespace engine_test {

inline std::string modulePath() {
    const char* dir = std::getenv("QUARLIN_BUILD_DIR");
    return std::string(dir != nullptr ? dir : ".") + QUARLIN_MODULE_IN_BUILD;
}

inline subhost::Module& module() {
    static subhost::Module loaded(modulePath());
    return loaded;
}

inline const char* const kSfcnName = "MEX level2 S-function \"Quarlin_msp\"";

inline std::string diagText(const std::string& id, const std::string& stringArg = {}) {
    std::string args = stringArg.empty() ? "" : "<arg type=\"string\">" + stringArg + "</arg>";
    return "<diag_root><diag id=\"Simulink:SFunctions:" + id + "\"><arguments>" + args +
           "</arguments></diag></diag_root>";
}

inline std::string unexpected(const std::string& method) {
    return diagText("SimStructUnexpectedFunctionCall", method);
}

inline uint32_t bits(float value) { return std::bit_cast<uint32_t>(value); }
inline uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

// Arrays made inside live until the scope ends.
struct ArrayScope {
    ArrayScope() { subhost_mx_beginScope(); }
    ~ArrayScope() { subhost_mx_endScope(); }
    ArrayScope(const ArrayScope&) = delete;
    ArrayScope& operator=(const ArrayScope&) = delete;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module().loaded()) << module().error(); }
};

// A block of the shared module, bound and brought to ready.
class ReadyBlockTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        const subhost::CallResult ready = block.setUp();
        ASSERT_TRUE(ready.ok) << ready.describe();
    }
    subhost::Block block{module()};
};

}  // namespace engine_test
