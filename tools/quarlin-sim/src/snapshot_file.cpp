#include "snapshot_file.h"

#include <cmath>
#include <cstdio>

#include "failure.h"
#include "mat_file.h"

namespace quarlin_sim {

namespace {

constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

// Field names of the scenario parameters, in PmsmParams order.
struct ParamField {
    const char* name;
    double PmsmParams::*member;
};
constexpr ParamField kParamFields[] = {
    {"rpm", &PmsmParams::rpm}, {"ramp", &PmsmParams::ramp}, {"hold", &PmsmParams::hold},
    {"psi", &PmsmParams::psi}, {"iq", &PmsmParams::iq},     {"phi0", &PmsmParams::phi0},
};

const char* sourceName(InputSource source) { return source == InputSource::pmsm ? "pmsm" : "csv"; }

// FNV-1a over a tree: kinds, sizes, names and contents, each field in order.
class Digest {
public:
    void add(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash_ ^= bytes[i];
            hash_ *= 0x100000001B3ull;
        }
    }
    void add(uint64_t value) { add(&value, sizeof value); }
    void add(const std::string& text) {
        add(text.size());
        add(text.data(), text.size());
    }
    void add(const Node& node) {
        add(static_cast<uint64_t>(node.kind));
        if (node.kind == Node::Kind::empty) return;
        // Doubles, all that files of earlier versions hold, add no class.
        if (node.kind == Node::Kind::reals && node.numericClass != numeric_class::doubleClass)
            add(static_cast<uint64_t>(node.numericClass));
        add(node.rows);
        add(node.columns);
        add(node.bytes.data(), node.bytes.size());
        add(node.reals.data(), node.reals.size() * sizeof(double));
        add(node.text);
        add(node.names.size());
        for (size_t i = 0; i < node.names.size(); ++i) {
            add(node.names[i]);
            add(node.fields[i]);
        }
    }
    std::string hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
        return text;
    }

private:
    uint64_t hash_ = 0xCBF29CE484222325ull;
};

}  // namespace

std::string inputDigest(const InputTable& input, uint64_t rows) {
    Digest digest;
    for (uint64_t k = 0; k < rows && k < input.rows.size(); ++k) digest.add(input.rows[k].data(), sizeof(InputSample));
    return digest.hex();
}

std::string snapshotDigest(const Node& snapshot, const Node& resume) {
    Digest digest;
    digest.add(snapshot);
    digest.add(resume);
    return digest.hex();
}

namespace {
constexpr const char* kDigestField = "digest";

}  // namespace

void writeSnapshotFile(const std::string& path, const SnapshotFile& file) {
    const ResumeInfo& r = file.resume;
    std::vector<std::string> names = {"format", "step", "state_checksum", "source"};
    std::vector<Node> fields = {
        Node::textRow(kSnapshotFormat),
        Node::scalar(static_cast<double>(r.step)),
        Node::realRow({r.stateChecksum.begin(), r.stateChecksum.end()}),
        Node::textRow(sourceName(r.source)),
    };
    if (r.source == InputSource::csv) {
        names.push_back("input_digest");
        fields.push_back(Node::textRow(r.inputDigest));
    }
    if (r.source == InputSource::pmsm) {
        names.push_back("phase");
        fields.push_back(Node::scalar(r.phase));
        for (const auto& f : kParamFields) {
            names.push_back(f.name);
            fields.push_back(Node::scalar(r.params.*f.member));
        }
    }
    Node resume = Node::structure(std::move(names), std::move(fields));
    const std::string digest = snapshotDigest(file.snapshot, resume);
    resume.names.push_back(kDigestField);
    resume.fields.push_back(Node::textRow(digest));
    writeMatFile(path, {{"snapshot", file.snapshot}, {"resume", std::move(resume)}});
}

SnapshotFile readSnapshotFile(const std::string& path) {
    auto variables = readMatFile(path, {"snapshot", "resume"});
    const auto foreign = [&](const std::string& why) -> SnapshotFile {
        fail(path + " is not a quarlin-sim snapshot: " + why);
    };
    const auto resume = variables.find("resume");
    const auto snapshot = variables.find("snapshot");
    if (resume == variables.end()) return foreign("it has no variable \"resume\"");
    if (snapshot == variables.end()) return foreign("it has no variable \"snapshot\"");
    const Node& info = resume->second;
    if (info.kind != Node::Kind::structure) return foreign("\"resume\" is not a struct");
    const Node* format = info.field("format");
    if (format == nullptr || format->kind != Node::Kind::text || format->text != kSnapshotFormat) {
        return foreign("\"resume.format\" is not \"" + std::string(kSnapshotFormat) + "\"");
    }

    // Everything but the digest itself is covered by it.
    Node covered = info;
    const Node* digest = nullptr;
    if (!covered.names.empty() && covered.names.back() == kDigestField) {
        covered.names.pop_back();
        covered.fields.pop_back();
        digest = &info.fields.back();
    }
    if (digest == nullptr || digest->kind != Node::Kind::text) fail(path + " is damaged: it has no resume.digest");
    if (digest->text != snapshotDigest(snapshot->second, covered)) {
        fail(path + " is damaged: its content does not match its digest");
    }

    const auto number = [&](const char* name) {
        const Node* n = info.field(name);
        if (n == nullptr || !n->isScalar() || !std::isfinite(n->reals[0])) {
            fail(path + " is damaged: resume." + name + " is not a finite number");
        }
        return n->reals[0];
    };

    SnapshotFile file;
    ResumeInfo& r = file.resume;
    const double step = number("step");
    if (step < 0 || step > kLargestExactInteger || step != std::floor(step)) {
        fail(path + " is damaged: resume.step is not a step count");
    }
    r.step = static_cast<uint64_t>(step);

    const Node* checksum = info.field("state_checksum");
    if (checksum == nullptr || checksum->kind != Node::Kind::reals || checksum->reals.size() != 4) {
        fail(path + " is damaged: resume.state_checksum is not four numbers");
    }
    for (size_t i = 0; i < 4; ++i) {
        const double w = checksum->reals[i];
        if (!(w >= 0 && w <= 4294967295.0 && w == std::floor(w))) {
            fail(path + " is damaged: resume.state_checksum is not four 32-bit words");
        }
        r.stateChecksum[i] = static_cast<uint32_t>(w);
    }

    const Node* source = info.field("source");
    if (source != nullptr && source->kind == Node::Kind::text && source->text == "pmsm") {
        r.source = InputSource::pmsm;
        r.phase = number("phase");
        for (const auto& f : kParamFields) r.params.*f.member = number(f.name);
        if (const char* problem = pmsmParamsProblem(r.params)) {
            fail(path + " is damaged: its scenario is unusable: " + problem);
        }
    } else if (source != nullptr && source->kind == Node::Kind::text && source->text == "csv") {
        r.source = InputSource::csv;
        const Node* input = info.field("input_digest");
        if (input == nullptr || input->kind != Node::Kind::text) fail(path + " is damaged: it has no resume.input_digest");
        r.inputDigest = input->text;
    } else {
        fail(path + " is damaged: resume.source is neither \"pmsm\" nor \"csv\"");
    }

    file.snapshot = std::move(snapshot->second);
    if (file.snapshot.kind != Node::Kind::structure) fail(path + " is damaged: \"snapshot\" is not a struct");
    return file;
}

}  // namespace quarlin_sim
