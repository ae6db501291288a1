#include "host_block.h"

#include <cmath>
#include <cstring>

#include "failure.h"
#include "files.h"
#include "subhost/control.h"

namespace quarlin_sim {

namespace {

void check(const subhost::CallResult& result, const std::string& what) {
    if (!result) throw BlockFailure(what + ": " + result.describe(), result.hostError);
}

Node nodeFrom(const mxArray* array, const std::string& path, int depth) {
    if (array == nullptr) return Node{};
    if (depth > kDeepestTree) fail(path + ": nested too deeply");
    const size_t rows = mxGetM_800(array);
    const size_t columns = mxGetN_800(array);
    switch (mxGetClassID_800(array)) {
        case mx_class::structure: {
            if (rows != 1 || columns != 1) fail(path + ": a struct array, not a single struct");
            std::vector<std::string> names;
            std::vector<Node> fields;
            const int32_t count = mxGetNumberOfFields_800(array);
            for (int32_t i = 0; i < count; ++i) {
                const char* name = mxGetFieldNameByNumber_800(array, i);
                names.push_back(name != nullptr ? name : "");
                fields.push_back(nodeFrom(mxGetFieldByNumber_800(array, 0, i), path + "." + names.back(), depth + 1));
            }
            return Node::structure(std::move(names), std::move(fields));
        }
        case mx_class::uint8: {
            if (mxIsComplex_800(array)) fail(path + ": a complex array");
            const auto* data = static_cast<const uint8_t*>(mxGetData_800(array));
            return Node::byteMatrix(rows, columns, {data, data + rows * columns});
        }
        case mx_class::doubleClass: {
            if (mxIsComplex_800(array)) fail(path + ": a complex array");
            if (rows * columns == 0) return Node{};
            const auto* data = static_cast<const double*>(mxGetData_800(array));
            return Node::realMatrix(rows, columns, {data, data + rows * columns});
        }
        case mx_class::character: {
            const char* text = subhost_mx_string(array);
            return Node::textRow(text != nullptr ? text : "");
        }
        default: {
            const int classId = mxGetClassID_800(array);
            std::vector<double> values;
            if (numeric_class::unitSize(classId) == 0 || mxIsComplex_800(array) ||
                !numeric_class::decode(classId, mxGetData_800(array), rows * columns, values)) {
                fail(path + ": an array of a class a snapshot does not hold");
            }
            return Node::numericMatrix(classId, rows, columns, std::move(values));
        }
    }
}

}  // namespace

Node nodeFromArray(const mxArray* array, const std::string& path) { return nodeFrom(array, path, 0); }

mxArray* arrayFromNode(const Node& node) {
    switch (node.kind) {
        case Node::Kind::empty: return nullptr;
        case Node::Kind::structure: {
            std::vector<const char*> names;
            for (const auto& name : node.names) names.push_back(name.c_str());
            mxArray* array = mxCreateStructMatrix_800(1, 1, static_cast<int32_t>(names.size()), names.data());
            for (size_t i = 0; i < node.fields.size(); ++i) {
                if (mxArray* field = arrayFromNode(node.fields[i])) {
                    mxSetFieldByNumber_800(array, 0, static_cast<int32_t>(i), field);
                }
            }
            return array;
        }
        case Node::Kind::bytes: {
            mxArray* array = mxCreateNumericMatrix_800(node.rows, node.columns, mx_class::uint8, mxREAL);
            if (!node.bytes.empty()) std::memcpy(mxGetData_800(array), node.bytes.data(), node.bytes.size());
            return array;
        }
        case Node::Kind::reals: {
            mxArray* array = mxCreateNumericMatrix_800(node.rows, node.columns, node.numericClass, mxREAL);
            if (!node.reals.empty()) numeric_class::encode(node.numericClass, node.reals, mxGetData_800(array));
            return array;
        }
        case Node::Kind::text: return mxCreateString_800(node.text.c_str());
    }
    return nullptr;
}

std::string defaultModulePath() { return programDirectory() + kDefaultModule; }

std::unique_ptr<subhost::Module> loadModule(const std::string& path) {
    auto module = std::make_unique<subhost::Module>(path);
    if (!module->loaded()) fail("cannot load the module " + path + ": " + module->error());
    return module;
}

HostBlock::HostBlock(subhost::Module& module, const std::function<void(subhost::HostRecord&)>& beforeBind)
    : block_(module) {
    if (beforeBind) beforeBind(block_.host());
    check(block_.bind(), "the block refused its bind");
    check(block_.setUp(), "the block failed to set up");
}

HostBlock::~HostBlock() {
    if (finished_) return;
    // A run that failed half-way still ends the block's life in order; what
    // it reports now no longer matters.
    (void)block_.terminate();
    (void)block_.cleanup();
}

void HostBlock::step(uint64_t k, const std::array<float, 4>& inputs, StepResult& out, bool withStates) {
    for (int port = 0; port < 4; ++port) block_.setInput(port, inputs[port]);
    if (auto result = block_.outputs(0); !result) check(result, "step " + std::to_string(k));
    out.outputs = {block_.output(0), block_.output(1)};
    if (withStates) {
        out.states = block_.states();
        out.runFlags = block_.runFlags();
    }
    if (auto result = block_.update(); !result) check(result, "step " + std::to_string(k));
}

Node HostBlock::saveSnapshot() {
    subhost::ArrayPtr tree;
    check(block_.saveSimState(tree), "the block failed to save its state");
    if (!tree) fail("the block saved no state");
    return nodeFromArray(tree.get(), "snapshot");
}

void HostBlock::restoreSnapshot(const Node& snapshot, const std::string& source) {
    // The block judges the tree: it checks the whole of it and refuses a
    // malformed one before it writes anything.  The file's own structure and
    // digest were checked when it was read.
    subhost_mx_beginScope();
    const subhost::CallResult result = block_.restoreSimState(arrayFromNode(snapshot));
    subhost_mx_endScope();
    check(result, "the block refused the snapshot in " + source);
}

std::array<uint32_t, 4> HostBlock::stateChecksum() {
    std::array<uint32_t, 4> words{};
    const int32_t count = subhost_slmr_checksumCount(block_.record());
    if (count <= 0) fail("the block registered no state checksum");
    subhost_slmr_checksumWords(block_.record(), count - 1, words.data());
    return words;
}

void HostBlock::finish() {
    finished_ = true;
    check(block_.terminate(), "the block failed to terminate");
    check(block_.cleanup(), "the block failed to clean up");
}

}  // namespace quarlin_sim
