// Value trees, MAT files, and snapshot files.  The simulator's MAT reader
// and writer are checked against matio, a reader and writer nobody here
// wrote: each reads what the other writes.
#include <gtest/gtest.h>
#include <matio.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "failure.h"
#include "mat_file.h"
#include "sim_support.h"
#include "snapshot_file.h"
#include "tree.h"

namespace {

using quarlin_sim::Failure;
using quarlin_sim::Node;

// Same kinds, names, sizes and bits throughout.
void expectSameTree(const Node& a, const Node& b, const std::string& path = "root") {
    ASSERT_EQ(a.kind, b.kind) << path;
    if (a.kind == Node::Kind::empty) return;
    ASSERT_EQ(a.rows, b.rows) << path;
    ASSERT_EQ(a.columns, b.columns) << path;
    EXPECT_EQ(a.numericClass, b.numericClass) << path;
    EXPECT_EQ(a.bytes, b.bytes) << path;
    EXPECT_EQ(a.text, b.text) << path;
    ASSERT_EQ(a.reals.size(), b.reals.size()) << path;
    for (size_t i = 0; i < a.reals.size(); ++i) {
        EXPECT_EQ(std::bit_cast<uint64_t>(a.reals[i]), std::bit_cast<uint64_t>(b.reals[i])) << path << "[" << i << "]";
    }
    ASSERT_EQ(a.names, b.names) << path;
    for (size_t i = 0; i < a.fields.size(); ++i) expectSameTree(a.fields[i], b.fields[i], path + "." + a.names[i]);
}

// A tree shaped like the block's snapshot, with names as the block makes them.
Node blockLikeTree() {
    std::vector<std::string> stateNames;
    std::vector<Node> states;
    for (int i = 0; i < 10; ++i) {
        stateNames.push_back("mdlrefDW->rtdw.tok" + std::to_string(i) + "abcdef_prot");
        states.push_back(Node::byteRow(std::vector<uint8_t>(i < 7 ? 4 : 1, static_cast<uint8_t>(0xF0 + i))));
    }
    std::vector<uint8_t> rtb(28);
    for (size_t i = 0; i < rtb.size(); ++i) rtb[i] = static_cast<uint8_t>(i * 37);
    Node instance = Node::structure({"rtb", "rtdw", "NULL->rtzce"},
                                    {Node::byteRow(rtb), Node::structure(stateNames, states), Node{}});
    return Node::structure({"localX", "mdlrefDW", "disallowedStateData", "tNext", "tNextTid",
                            "nonContDerivSigInfoPrevVal"},
                           {Node{}, instance, Node{}, Node::scalar(0.4321), Node::scalar(-1), Node{}});
}

TEST(MatFile, KeepsEveryKindOfNodeBitForBit) {
    sim_test::TempDir dir;
    const auto path = (dir / "tree.mat").string();
    const Node tree = blockLikeTree();
    const Node extra = Node::structure(
        {"text", "reals", "odd"},
        {Node::textRow("quarlin-sim"),
         Node::realRow({-0.0, std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::infinity(),
                        std::bit_cast<double>(0x7FF8000000000001ull), 4294967295.0}),
         Node::byteRow({})});
    quarlin_sim::writeMatFile(path, {{"snapshot", tree}, {"extra", extra}});
    const auto back = quarlin_sim::readMatFile(path, {"snapshot", "extra", "absent"});
    ASSERT_EQ(back.size(), 2u);
    expectSameTree(tree, back.at("snapshot"));
    // An empty byte row is read back as an empty field, as MATLAB shows it.
    Node expected = extra;
    expected.fields[2] = Node::byteRow({});
    expectSameTree(expected, back.at("extra"));
}

// matio's view of a tree, and a tree of matio's variable.
struct MatvarDeleter {
    void operator()(matvar_t* var) const { Mat_VarFree(var); }
};
using MatvarPtr = std::unique_ptr<matvar_t, MatvarDeleter>;

matio_types matioTypeOf(int classId) {
    switch (classId) {
        case quarlin_sim::numeric_class::singleClass: return MAT_T_SINGLE;
        case quarlin_sim::numeric_class::int32Class: return MAT_T_INT32;
        case quarlin_sim::numeric_class::uint64Class: return MAT_T_UINT64;
        default: ADD_FAILURE() << "class " << classId; return MAT_T_DOUBLE;
    }
}

MatvarPtr matioVariable(const Node& node, const char* name, matio_types textType = MAT_T_UINT16) {
    size_t dims[2] = {node.rows, node.columns};
    switch (node.kind) {
        case Node::Kind::empty:
            dims[0] = dims[1] = 0;
            return MatvarPtr(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, 0));
        case Node::Kind::bytes:
            return MatvarPtr(Mat_VarCreate(name, MAT_C_UINT8, MAT_T_UINT8, 2, dims, const_cast<uint8_t*>(node.bytes.data()),
                                           MAT_F_DONT_COPY_DATA));
        case Node::Kind::reals: {
            if (node.numericClass == quarlin_sim::numeric_class::doubleClass) {
                return MatvarPtr(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                               const_cast<double*>(node.reals.data()), MAT_F_DONT_COPY_DATA));
            }
            std::vector<char> data(node.reals.size() * quarlin_sim::numeric_class::unitSize(node.numericClass));
            quarlin_sim::numeric_class::encode(node.numericClass, node.reals, data.data());
            return MatvarPtr(Mat_VarCreate(name, static_cast<matio_classes>(node.numericClass), matioTypeOf(node.numericClass),
                                           2, dims, data.data(), 0));
        }
        case Node::Kind::text: {
            if (textType == MAT_T_UINT16) {
                std::vector<uint16_t> units(node.text.begin(), node.text.end());
                return MatvarPtr(Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims, units.data(), 0));
            }
            return MatvarPtr(Mat_VarCreate(name, MAT_C_CHAR, textType, 2, dims, const_cast<char*>(node.text.data()), 0));
        }
        case Node::Kind::structure: {
            std::vector<const char*> names;
            for (const auto& n : node.names) names.push_back(n.c_str());
            MatvarPtr var(Mat_VarCreateStruct(name, 2, dims, names.data(), static_cast<unsigned>(names.size())));
            for (size_t i = 0; i < node.fields.size(); ++i) {
                Mat_VarSetStructFieldByIndex(var.get(), i, 0, matioVariable(node.fields[i], nullptr, textType).release());
            }
            return var;
        }
    }
    return nullptr;
}

Node fromMatio(const matvar_t* var) {
    if (var == nullptr) return Node{};
    const size_t rows = var->dims[0];
    const size_t columns = var->dims[1];
    const size_t count = rows * columns;
    switch (var->class_type) {
        case MAT_C_DOUBLE: {
            if (count == 0) return Node{};
            const auto* data = static_cast<const double*>(var->data);
            return Node::realMatrix(rows, columns, {data, data + count});
        }
        case MAT_C_UINT8: {
            const auto* data = static_cast<const uint8_t*>(var->data);
            return Node::byteMatrix(rows, columns, {data, data + count});
        }
        case MAT_C_SINGLE: case MAT_C_INT32: case MAT_C_UINT64: {
            const int classId = static_cast<int>(var->class_type);
            std::vector<double> values;
            EXPECT_TRUE(quarlin_sim::numeric_class::decode(classId, var->data, count, values));
            return Node::numericMatrix(classId, rows, columns, values);
        }
        case MAT_C_CHAR: {
            EXPECT_EQ(var->data_type, MAT_T_UINT16);
            const auto* data = static_cast<const uint16_t*>(var->data);
            return Node::textRow(std::string(data, data + count));
        }
        case MAT_C_STRUCT: {
            std::vector<std::string> names;
            std::vector<Node> fields;
            for (unsigned i = 0; i < Mat_VarGetNumberOfFields(const_cast<matvar_t*>(var)); ++i) {
                names.push_back(Mat_VarGetStructFieldnames(var)[i]);
                fields.push_back(fromMatio(Mat_VarGetStructFieldByIndex(const_cast<matvar_t*>(var), i, 0)));
            }
            return Node::structure(names, fields);
        }
        default: ADD_FAILURE() << "class " << var->class_type; return Node{};
    }
}

// The kinds and values a snapshot file holds, and the block's long names.
const std::vector<std::pair<std::string, Node>>& everyKind() {
    static const std::vector<std::pair<std::string, Node>> variables = {
        {"snapshot", blockLikeTree()},
        {"extra", Node::structure({"text", "reals", "matrix", "bytes", "nothing", "a_field_name_of_fifty_characters_and_then_some_more"},
                                  {Node::textRow("quarlin-sim snapshot 1"),
                                   Node::realRow({-0.0, std::numeric_limits<double>::denorm_min(),
                                                  -std::numeric_limits<double>::infinity(),
                                                  std::bit_cast<double>(0x7FF8000000000001ull), 4294967295.0}),
                                   Node::realMatrix(2, 3, {1, 2, 3, 4, 5, 6}), Node::byteMatrix(3, 2, {0, 1, 127, 128, 254, 255}),
                                   Node{}, Node::scalar(0.1)})},
        {"classes", Node::structure({"single", "int32", "uint64"},
                                    {Node::numericMatrix(quarlin_sim::numeric_class::singleClass, 1, 3, {0.5, -1e-3f, 3.0e38f}),
                                     Node::numericMatrix(quarlin_sim::numeric_class::int32Class, 2, 1, {-2147483648.0, 7}),
                                     Node::numericMatrix(quarlin_sim::numeric_class::uint64Class, 1, 1, {9007199254740992.0})})},
        {"text", Node::textRow("pmsm")},
    };
    return variables;
}

TEST(MatFile, MatioReadsEveryFileWritten) {
    sim_test::TempDir dir;
    const auto path = (dir / "tree.mat").string();
    quarlin_sim::writeMatFile(path, everyKind());
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    for (const auto& [name, node] : everyKind()) {
        MatvarPtr var(Mat_VarRead(mat, name.c_str()));
        ASSERT_TRUE(var) << name;
        expectSameTree(node, fromMatio(var.get()), name);
    }
    Mat_Close(mat);
}

TEST(MatFile, ReadsEveryFileMatioWrites) {
    // matio writes text in one of three encodings; each reads the same.
    for (const matio_types textType : {MAT_T_UINT16, MAT_T_UINT8, MAT_T_UTF8}) {
        sim_test::TempDir dir;
        const auto path = (dir / "tree.mat").string();
        mat_t* mat = Mat_CreateVer(path.c_str(), nullptr, MAT_FT_MAT5);
        ASSERT_NE(mat, nullptr);
        for (const auto& [name, node] : everyKind()) {
            ASSERT_EQ(Mat_VarWrite(mat, matioVariable(node, name.c_str(), textType).get(), MAT_COMPRESSION_NONE), 0);
        }
        Mat_Close(mat);
        std::vector<std::string> names;
        for (const auto& variable : everyKind()) names.push_back(variable.first);
        const auto back = quarlin_sim::readMatFile(path, names);
        for (const auto& [name, node] : everyKind()) expectSameTree(node, back.at(name), name);
    }
}

TEST(MatFile, MatioFilesOfOtherFormatsAreRefusedByName) {
    struct Case {
        const char* name;
        mat_ft format;
        matio_compression compression;
        const char* message;
    };
    const Case cases[] = {
        {"compressed", MAT_FT_MAT5, MAT_COMPRESSION_ZLIB, "is damaged: it holds compressed variables"},
        {"level 4", MAT_FT_MAT4, MAT_COMPRESSION_NONE, "is not a MAT file (level 5)"},
        {"HDF5 based", MAT_FT_MAT73, MAT_COMPRESSION_NONE, "is not a MAT file (level 5)"},
    };
    for (const auto& c : cases) {
        sim_test::TempDir dir;
        const auto path = (dir / "x.mat").string();
        mat_t* mat = Mat_CreateVer(path.c_str(), nullptr, c.format);
        ASSERT_NE(mat, nullptr) << c.name;
        std::vector<double> values = {1, 2, 3};
        size_t dims[2] = {1, 3};
        MatvarPtr var(Mat_VarCreate("x", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, values.data(), MAT_F_DONT_COPY_DATA));
        ASSERT_EQ(Mat_VarWrite(mat, var.get(), c.compression), 0) << c.name;
        Mat_Close(mat);
        try {
            (void)quarlin_sim::readMatFile(path, {"x"});
            ADD_FAILURE() << c.name;
        } catch (const Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << c.name << ": " << failure.what();
        }
    }
}

TEST(MatFile, FailedWriteLeavesNothingBehind) {
    sim_test::TempDir dir;
    const auto target = dir / "missing-dir" / "x.mat";
    EXPECT_THROW(quarlin_sim::writeMatFile(target.string(), {{"x", Node::scalar(1)}}), Failure);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

quarlin_sim::SnapshotFile sampleSnapshot() {
    quarlin_sim::SnapshotFile file;
    file.snapshot = blockLikeTree();
    file.resume.step = 4000;
    file.resume.stateChecksum = {0xCC466449, 0x53FC69BF, 0x125D1680, 0xFD15C90C};
    file.resume.params = {1234.5, 0.25, 0.125, 0.02, -1.5, 0.3};
    file.resume.phase = std::nextafter(100.5, 200.0);
    return file;
}

TEST(SnapshotFile, KeepsTheTreeAndWhatResumingNeeds) {
    sim_test::TempDir dir;
    const auto path = (dir / "s.mat").string();
    const auto saved = sampleSnapshot();
    quarlin_sim::writeSnapshotFile(path, saved);
    const auto back = quarlin_sim::readSnapshotFile(path);
    expectSameTree(saved.snapshot, back.snapshot);
    EXPECT_EQ(back.resume.step, 4000u);
    EXPECT_EQ(back.resume.stateChecksum, saved.resume.stateChecksum);
    EXPECT_EQ(back.resume.source, quarlin_sim::InputSource::pmsm);
    EXPECT_EQ(std::bit_cast<uint64_t>(back.resume.phase), std::bit_cast<uint64_t>(saved.resume.phase));
    EXPECT_EQ(back.resume.params.rpm, 1234.5);
    EXPECT_EQ(back.resume.params.phi0, 0.3);
    EXPECT_EQ(back.resume.params.iq, -1.5);

    auto csv = saved;
    csv.resume.source = quarlin_sim::InputSource::csv;
    csv.resume.inputDigest = quarlin_sim::inputDigest(quarlin_sim::InputTable{{{1, 2, 3, 4}, {5, 6, 7, 8}}}, 2);
    quarlin_sim::writeSnapshotFile(path, csv);
    const auto csvBack = quarlin_sim::readSnapshotFile(path);
    EXPECT_EQ(csvBack.resume.source, quarlin_sim::InputSource::csv);
    EXPECT_EQ(csvBack.resume.inputDigest, csv.resume.inputDigest);
    // The digest tells the rows apart, and covers only the rows asked for.
    EXPECT_NE(csv.resume.inputDigest, quarlin_sim::inputDigest(quarlin_sim::InputTable{{{1, 2, 3, 4}, {5, 6, 7, -8}}}, 2));
    EXPECT_EQ(csv.resume.inputDigest,
              quarlin_sim::inputDigest(quarlin_sim::InputTable{{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 9, 9, 9}}}, 2));
}

TEST(SnapshotFile, RefusesFilesNoRunCouldHaveSaved) {
    sim_test::TempDir dir;
    const auto path = (dir / "s.mat").string();
    quarlin_sim::writeSnapshotFile(path, sampleSnapshot());
    const auto good = quarlin_sim::readMatFile(path, {"snapshot", "resume"});
    // A changed field under a digest made for it: only the change is wrong.
    const auto withResumeField = [&](const std::string& name, Node value) {
        Node resume = good.at("resume");
        for (size_t i = 0; i < resume.names.size(); ++i) {
            if (resume.names[i] == name) resume.fields[i] = std::move(value);
        }
        resume.names.pop_back();
        resume.fields.pop_back();
        const std::string digest = quarlin_sim::snapshotDigest(good.at("snapshot"), resume);
        resume.names.push_back("digest");
        resume.fields.push_back(Node::textRow(digest));
        return std::vector<std::pair<std::string, Node>>{{"snapshot", good.at("snapshot")}, {"resume", resume}};
    };
    Node damagedTree = good.at("snapshot");
    damagedTree.fields[1].fields[0].bytes[5] ^= 0x10;
    Node undigested = good.at("resume");
    undigested.names.pop_back();
    undigested.fields.pop_back();
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Node>> variables;
        const char* message;
    };
    const Case cases[] = {
        {"no resume", {{"snapshot", good.at("snapshot")}}, "is not a quarlin-sim snapshot: it has no variable \"resume\""},
        {"no snapshot", {{"resume", good.at("resume")}}, "is not a quarlin-sim snapshot: it has no variable \"snapshot\""},
        {"other format", withResumeField("format", Node::textRow("quarlin-sim snapshot 2")), "resume.format"},
        {"negative step", withResumeField("step", Node::scalar(-1)), "resume.step is not a step count"},
        {"fractional step", withResumeField("step", Node::scalar(2.5)), "resume.step is not a step count"},
        {"step not finite", withResumeField("step", Node::scalar(NAN)), "resume.step is not a finite number"},
        {"checksum word too large", withResumeField("state_checksum", Node::realRow({1, 2, 3, 4294967296.0})),
         "resume.state_checksum is not four 32-bit words"},
        {"checksum short", withResumeField("state_checksum", Node::realRow({1, 2, 3})),
         "resume.state_checksum is not four numbers"},
        {"unknown source", withResumeField("source", Node::textRow("wav")), "resume.source is neither"},
        {"phase missing", withResumeField("phase", Node{}), "resume.phase is not a finite number"},
        {"negative ramp", withResumeField("ramp", Node::scalar(-0.5)), "--ramp must not be negative"},
        {"damaged byte", {{"snapshot", damagedTree}, {"resume", good.at("resume")}},
         "is damaged: its content does not match its digest"},
        {"no digest", {{"snapshot", good.at("snapshot")}, {"resume", undigested}}, "it has no resume.digest"},
    };
    for (const auto& c : cases) {
        quarlin_sim::writeMatFile(path, c.variables);
        try {
            (void)quarlin_sim::readSnapshotFile(path);
            ADD_FAILURE() << c.name;
        } catch (const Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find(c.message), std::string::npos) << c.name << ": " << failure.what();
        }
    }
}

}  // namespace

namespace {

// No damaged byte past the file's descriptive header goes unnoticed: the
// file is refused, or what it yields is exactly what was saved (the byte
// was padding).
TEST(SnapshotFile, EveryDamagedByteIsRefusedOrHarmless) {
    sim_test::TempDir dir;
    const auto path = (dir / "s.mat").string();
    const auto saved = sampleSnapshot();
    quarlin_sim::writeSnapshotFile(path, saved);
    const std::string good = sim_test::readFile(path);
    size_t refused = 0;
    size_t tried = 0;
    // Every other byte, each with another of its bits flipped, keeps the
    // test quick and still reaches every kind of element.
    for (size_t offset = 128; offset < good.size(); offset += 2) {
        {
            ++tried;
            std::string damaged = good;
            damaged[offset] = static_cast<char>(damaged[offset] ^ (1 << (offset / 2 % 8)));
            sim_test::writeFile(path, damaged);
            try {
                const auto back = quarlin_sim::readSnapshotFile(path);
                expectSameTree(saved.snapshot, back.snapshot);
                ASSERT_EQ(back.resume.step, saved.resume.step) << offset;
                ASSERT_EQ(back.resume.stateChecksum, saved.resume.stateChecksum) << offset;
                ASSERT_EQ(std::bit_cast<uint64_t>(back.resume.phase), std::bit_cast<uint64_t>(saved.resume.phase));
            } catch (const Failure&) {
                ++refused;
            }
        }
    }
    // Most bytes carry content; a file where flips were mostly accepted
    // would mean the check looks at nothing.
    EXPECT_GT(refused, tried * 3 / 4);
}

TEST(SnapshotFile, EveryTruncationIsRefused) {
    sim_test::TempDir dir;
    const auto path = (dir / "s.mat").string();
    quarlin_sim::writeSnapshotFile(path, sampleSnapshot());
    const std::string good = sim_test::readFile(path);
    for (size_t length = 0; length < good.size(); ++length) {
        sim_test::writeFile(path, good.substr(0, length));
        EXPECT_THROW((void)quarlin_sim::readSnapshotFile(path), Failure) << length;
    }
}

}  // namespace
