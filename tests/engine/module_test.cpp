// The module as a loadable library: what it exports and what it says of the
// interface it was built for.

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "engine_fixture.h"

namespace engine_test {
namespace {

// Names of the defined dynamic symbols of a library, as nm lists them.
std::set<std::string> definedDynamicSymbols(const std::string& path) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + path + "'";
    FILE* listing = popen(command.c_str(), "r");
    if (listing == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.insert(name);
    }
    EXPECT_EQ(pclose(listing), 0) << command;
    return names;
}

TEST_F(EngineTest, ExportsExactlyTheTwoEntryPoints) {
    EXPECT_EQ(definedDynamicSymbols(modulePath()),
              (std::set<std::string>{"mexFunction", "mexfilerequiredapiversion"}));
}

TEST_F(EngineTest, StatesTheReleaseAndInterfaceItWasBuiltFor) {
    EXPECT_EQ(module().releaseStamp(), 131611u);
    EXPECT_EQ(module().interfaceVersion(), 134217728u);
    EXPECT_NE(module().mexFunction(), nullptr);
}

TEST(ModuleLoad, RefusesWhatIsNotAModule) {
    const std::string build = std::getenv("QUARLIN_BUILD_DIR") != nullptr ? std::getenv("QUARLIN_BUILD_DIR") : ".";
    struct Case {
        const char* name;
        std::string path;
        const char* errorMentions;
    };
    const Case cases[] = {
        {"missing file", build + "/lib/no_such_module.mexa64", "no_such_module"},
        {"library without the entry points", build + "/lib/libmwmathutil.so", "mexfilerequiredapiversion"},
    };
    for (const Case& c : cases) {
        subhost::Module refused(c.path);
        EXPECT_FALSE(refused.loaded()) << c.name;
        EXPECT_NE(refused.error().find(c.errorMentions), std::string::npos) << c.name << ": " << refused.error();

        subhost::Block block(refused);
        const subhost::CallResult bind = block.bind();
        EXPECT_FALSE(bind.ok) << c.name;
        EXPECT_FALSE(bind.engineError.empty()) << c.name;
    }
}

}  // namespace
}  // namespace engine_test
