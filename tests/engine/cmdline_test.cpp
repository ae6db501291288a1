// The command-line path through the loaded module: the sizes query, the
// bind, the six argument checks, the name check and the refusal of handles
// that do not name a host-made record.

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "engine_fixture.h"
#include "host/host_imports.h"
#include "host/simstruc.h"

namespace engine_test {
namespace {

using subhost::ArrayPtr;
using subhost::CallResult;
using subhost::HostArg;

constexpr double kStamp = 8480229.0;

// The column of a query on a record made on the spot; every element not
// listed is 0.
std::array<double, sizes_index::count> expectedQuerySizes() {
    std::array<double, sizes_index::count> sizes{};
    sizes[2] = 2;
    sizes[3] = 4;
    sizes[6] = 2;
    sizes[19] = 8480229;
    sizes[23] = 1744840738;  // 0x68002822
    sizes[30] = 2;
    sizes[31] = 1708546;  // 0x1A1202
    return sizes;
}

mxArray* handleOf(uintptr_t address, double mark = kStamp) { return subhost::makeRecordHandle(address, mark); }

mxArray* handleOf(const SimStruct* S, double mark = kStamp) {
    return handleOf(reinterpret_cast<uintptr_t>(S), mark);
}

// A command-line call with `record` in the record slot and flag 0.
CallResult callWith(int32_t nlhs, const mxArray* record, ArrayPtr* result = nullptr) {
    mxArray* empty = mxCreateDoubleMatrix_800(0, 0, mxREAL);
    const mxArray* prhs[] = {empty, record, empty, mxCreateDoubleScalar_800(0.0)};
    return subhost::commandLineCall(module(), nlhs, prhs, result);
}

std::array<double, sizes_index::count> columnOf(const ArrayPtr& column) {
    std::array<double, sizes_index::count> sizes{};
    if (column && mxGetM_800(column.get()) == sizes.size() && mxGetN_800(column.get()) == 1)
        std::memcpy(sizes.data(), mxGetPr_800(column.get()), sizeof(double) * sizes.size());
    return sizes;
}

void expectHostError(const CallResult& call, const std::string& id, const std::vector<HostArg>& args,
                     const std::string& name) {
    ASSERT_TRUE(call.hostError.has_value()) << name << ": " << call.describe();
    EXPECT_FALSE(call.ok) << name;
    EXPECT_EQ(call.hostError->id, "Simulink:SFunctions:" + id) << name;
    ASSERT_EQ(call.hostError->args.size(), args.size()) << name;
    for (size_t i = 0; i < args.size(); ++i) {
        EXPECT_EQ(call.hostError->args[i].isText, args[i].isText) << name << " arg " << i;
        EXPECT_EQ(call.hostError->args[i].text, args[i].text) << name << " arg " << i;
        EXPECT_EQ(bits(call.hostError->args[i].number), bits(args[i].number)) << name << " arg " << i;
    }
}

HostArg text(const std::string& value) { return {true, value, 0.0}; }
HostArg number(double value) { return {false, "", value}; }

// The method entries of a record, in their order; the module fills the
// first eleven.
std::vector<bool> filledEntries(const SimStruct* S) {
    constexpr size_t count = sizeof(MethodEntries) / sizeof(void (*)());
    void (*entries[count])();
    std::memcpy(entries, &S->methods, sizeof entries);
    std::vector<bool> filled;
    for (auto* entry : entries) filled.push_back(entry != nullptr);
    return filled;
}

std::vector<bool> elevenFilled() {
    std::vector<bool> filled(sizeof(MethodEntries) / sizeof(void (*)()), false);
    for (size_t i = 0; i < 11; ++i) filled[i] = true;
    return filled;
}

TEST_F(EngineTest, SizesQueryAnswersTheRegistrationOfARecordMadeOnTheSpot) {
    const subhost::SizesResult query = subhost::sizesQuery(module());
    ASSERT_TRUE(query.call.ok) << query.call.describe();
    const auto expected = expectedQuerySizes();
    for (int k = 0; k < sizes_index::count; ++k) EXPECT_EQ(query.sizes[k], expected[k]) << "element " << k;
}

TEST_F(EngineTest, QueryWithParametersAndWithNoResultRequested) {
    struct Case {
        const char* name;
        int32_t nlhs;
        int extraParams;
    };
    for (const Case& c : {Case{"nlhs 0, four arguments", 0, 0}, Case{"nlhs 1, six arguments", 1, 2}}) {
        ArrayScope scope;
        std::vector<const mxArray*> prhs = {nullptr, mxCreateDoubleMatrix_800(0, 0, mxREAL), nullptr,
                                            mxCreateDoubleScalar_800(0.0)};
        for (int i = 0; i < c.extraParams; ++i) prhs.push_back(mxCreateDoubleScalar_800(i + 1.0));
        ArrayPtr column;
        const CallResult call = subhost::commandLineCall(module(), c.nlhs, prhs, &column);
        ASSERT_TRUE(call.ok) << c.name << ": " << call.describe();
        EXPECT_EQ(columnOf(column), expectedQuerySizes()) << c.name;
    }
}

TEST_F(EngineTest, BindFillsElevenEntriesAndReturnsTheRecordsSizes) {
    subhost::Block block(module());
    const CallResult bind = block.bind();
    ASSERT_TRUE(bind.ok) << bind.describe();
    EXPECT_EQ(filledEntries(block.record()), elevenFilled());

    // The host's own port-count functions do not set bit 1 of element 31.
    auto expected = expectedQuerySizes();
    expected[31] = 1708544;  // 0x1A1200
    const auto& sizes = block.boundSizes();
    for (int k = 0; k < sizes_index::count; ++k) {
        EXPECT_EQ(sizes[k], expected[k]) << "element " << k;
    }
    EXPECT_EQ(static_cast<uint32_t>(block.record()->sizes[sizes_index::options]), 0x68002822u);
    EXPECT_EQ(block.record()->sizes[sizes_index::versionStamp], 8480229);
}

TEST_F(EngineTest, BindTellsAnExtendedHostFirst) {
    for (bool extension : {false, true}) {
        subhost::HostRecordOptions options;
        options.withHostExtension = extension;
        subhost::Block block(module(), options);
        ASSERT_TRUE(block.bind().ok);
        const auto& calls = block.host().serviceCalls;
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(block.host().serviceCount(280), extension ? 1 : 0) << extension;
        if (extension) {
            EXPECT_EQ(calls[0].code, 280) << "before registration";
            EXPECT_EQ(calls[0].intValue, 1);
            EXPECT_EQ(calls[0].data, nullptr);
        }
    }
}

TEST_F(EngineTest, ArgumentChecksRaiseHostErrorsInOrder) {
    struct Case {
        const char* name;
        int32_t nlhs;
        int32_t nrhs;
        mxArray* (*flag)();
        const char* id;
    };
    const Case cases[] = {
        {"three arguments", 0, 3, [] { return mxCreateDoubleScalar_800(0.0); }, "SimStructTooFewRHSArguments"},
        {"three arguments, nlhs 2", 2, 3, [] { return mxCreateDoubleScalar_800(0.0); },
         "SimStructTooFewRHSArguments"},
        {"nlhs 2", 2, 4, [] { return mxCreateDoubleScalar_800(0.0); }, "SimStructTooManyLHSArguments"},
        {"nlhs 2, flag 1", 2, 4, [] { return mxCreateDoubleScalar_800(1.0); }, "SimStructTooManyLHSArguments"},
        {"flag []", 0, 4, [] { return mxCreateDoubleMatrix_800(0, 0, mxREAL); },
         "SimStructForthRHSArgIsNotInteger"},
        {"flag [0 0]", 0, 4, [] { return mxCreateDoubleMatrix_800(1, 2, mxREAL); },
         "SimStructForthRHSArgIsNotInteger"},
        {"flag 0+0i", 0, 4, [] { return mxCreateDoubleMatrix_800(1, 1, mxCOMPLEX); },
         "SimStructForthRHSArgIsNotInteger"},
        {"flag '0'", 0, 4, [] { return mxCreateString_800("0"); }, "SimStructForthRHSArgIsNotInteger"},
        {"flag 0.5", 0, 4, [] { return mxCreateDoubleScalar_800(0.5); }, "SimStructForthRHSArgIsNotInteger"},
        {"flag NaN", 0, 4, [] { return mxCreateDoubleScalar_800(std::nan("")); },
         "SimStructForthRHSArgIsNotInteger"},
        {"flag 1e10", 0, 4, [] { return mxCreateDoubleScalar_800(1e10); }, "SimStructForthRHSArgIsNotInteger"},
        {"flag 1", 0, 4, [] { return mxCreateDoubleScalar_800(1.0); }, "SimStructInvalidFlagPassedToSfcn"},
        {"flag -3", 0, 4, [] { return mxCreateDoubleScalar_800(-3.0); }, "SimStructInvalidFlagPassedToSfcn"},
    };
    for (const Case& c : cases) {
        ArrayScope scope;
        mxArray* empty = mxCreateDoubleMatrix_800(0, 0, mxREAL);
        const mxArray* prhs[] = {empty, empty, empty, c.flag()};
        ArrayPtr column;
        const CallResult call = subhost::commandLineCall(
            module(), c.nlhs, std::span<const mxArray* const>(prhs, static_cast<size_t>(c.nrhs)), &column);
        std::vector<HostArg> args = {text(kSfcnName)};
        if (std::string(c.id) == "SimStructTooFewRHSArguments") args.push_back(number(4.0));
        expectHostError(call, c.id, args, c.name);
        EXPECT_EQ(column, nullptr) << c.name << ": no result after a failed check";
    }
}

TEST_F(EngineTest, BindOfARecordWithAnotherNameLeavesItsEntries) {
    for (const char* name : {"Quarlin", "QUARLIN_MSP", ""}) {
        subhost::HostRecordOptions options;
        options.modelName = name;
        subhost::Block block(module(), options);
        expectHostError(block.bind(), "SimStructSFunctionNameMismatch", {text("Quarlin_msp"), text(name)}, name);
        EXPECT_FALSE(block.bound()) << name;
        EXPECT_EQ(filledEntries(block.record()), std::vector<bool>(elevenFilled().size(), false)) << name;
    }
}

// Pages of memory for handles into places where no record is.
struct Pages {
    explicit Pages(size_t count, int protection = PROT_READ | PROT_WRITE)
        : size(count * static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
        memory = static_cast<unsigned char*>(mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    }
    ~Pages() {
        if (memory != MAP_FAILED && size > 0) munmap(memory, size);
    }
    size_t page() const { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
    size_t size;
    unsigned char* memory;
};

// Whether the page at `address` is mapped at all: mincore answers ENOMEM
// for an address with no mapping.
bool pageMapped(const void* address) {
    unsigned char resident = 0;
    return mincore(const_cast<void*>(address), 1, &resident) == 0 || errno != ENOMEM;
}

void expectHandleRefused(const CallResult& call, const std::string& problem, const std::string& name) {
    ASSERT_TRUE(call.hostError.has_value()) << name << ": " << call.describe();
    EXPECT_EQ(call.hostError->id, "Quarlin_msp:InvalidRecordHandle") << name;
    ASSERT_EQ(call.hostError->args.size(), 1u) << name;
    const HostArg& text = call.hostError->args[0];
    EXPECT_TRUE(text.isText) << name;
    EXPECT_EQ(text.text, std::string(kSfcnName) + ": the record handle names no block record: " + problem + ".")
        << name;
}

TEST_F(EngineTest, HandlesThatNameNoRecordAreRefusedUnderTheModulesOwnId) {
    subhost::HostRecord aligned;

    Pages closed(1, PROT_NONE);

    // Memory readable just before a page that is not: a record starting
    // there runs into the unreadable page.
    Pages straddling(2);
    mprotect(straddling.memory + straddling.page(), straddling.page(), PROT_NONE);
    unsigned char* straddlingRecord = straddling.memory + straddling.page() - 64;

    // Records whose model names cannot be read: one pointing into the closed
    // page, one whose name runs unterminated into it.
    subhost::HostRecord nameClosed;
    nameClosed.S()->modelName = reinterpret_cast<const char*>(closed.memory);
    subhost::HostRecord nameUnterminated;
    std::memset(straddlingRecord, 'Q', 64);
    nameUnterminated.S()->modelName = reinterpret_cast<const char*>(straddlingRecord);

    // An unmapped page: the second page of the address space, where the
    // system places a mapping only when asked for that very address, so no
    // allocation made meanwhile lands there (a hole punched into a mapping
    // is soon filled again, under the sanitizers at once).  Each case checks
    // that it is still unmapped.
    const auto* hole = reinterpret_cast<const unsigned char*>(uintptr_t{0x1000});

    const std::string unreadable = "the memory at the address cannot be read";
    const std::string badName = "the record's model name is not a readable text";
    struct Case {
        const char* name;
        uintptr_t address;
        std::string problem;
    };
    const Case cases[] = {
        {"null address", 0, "the address is null"},
        {"misaligned address", reinterpret_cast<uintptr_t>(aligned.S()) + 4,
         "the address is not aligned for a record"},
        {"unmapped page", reinterpret_cast<uintptr_t>(hole), unreadable},
        {"page without read access", reinterpret_cast<uintptr_t>(closed.memory), unreadable},
        {"record running into an unreadable page", reinterpret_cast<uintptr_t>(straddlingRecord), unreadable},
        {"model name on an unreadable page", reinterpret_cast<uintptr_t>(nameClosed.S()), badName},
        {"model name running into an unreadable page", reinterpret_cast<uintptr_t>(nameUnterminated.S()),
         badName},
    };
    for (const Case& c : cases) {
        ArrayScope scope;
        ASSERT_FALSE(pageMapped(hole)) << c.name;
        expectHandleRefused(callWith(1, handleOf(c.address)), c.problem, c.name);
        ASSERT_FALSE(pageMapped(hole)) << c.name;
    }
    EXPECT_EQ(filledEntries(nameClosed.S()), std::vector<bool>(elevenFilled().size(), false));
    EXPECT_EQ(filledEntries(nameUnterminated.S()), std::vector<bool>(elevenFilled().size(), false));

    for (double half : {3e9, -3e9, std::nan("")}) {
        ArrayScope scope;
        mxArray* handle = handleOf(aligned.S());
        mxGetPr_800(handle)[1] = half;
        expectHandleRefused(callWith(1, handle), "an address half is not a signed 32-bit integer",
                            "high half " + std::to_string(half));
    }
    EXPECT_EQ(filledEntries(aligned.S()), std::vector<bool>(elevenFilled().size(), false));
}

// No stamp or other private mark: any record laid out as the host lays it
// out binds.  A fractional half is truncated toward zero first.
TEST_F(EngineTest, AFractionalHalfIsTruncatedAndTheRecordBound) {
    subhost::HostRecord record;
    ArrayScope scope;
    mxArray* handle = handleOf(record.S());
    double* h = mxGetPr_800(handle);
    h[0] += h[0] >= 0 ? 0.75 : -0.75;
    const CallResult bind = callWith(1, handle);
    EXPECT_TRUE(bind.ok) << bind.describe();
    EXPECT_EQ(filledEntries(record.S()), elevenFilled());
}

TEST_F(EngineTest, ABindableHandleWithAnInvalidFlagLeavesTheRecordAlone) {
    subhost::HostRecord record;
    ArrayScope scope;
    mxArray* empty = mxCreateDoubleMatrix_800(0, 0, mxREAL);
    const mxArray* prhs[] = {empty, handleOf(record.S()), empty, mxCreateDoubleScalar_800(1.0)};
    ArrayPtr column;
    const CallResult call = subhost::commandLineCall(module(), 1, prhs, &column);
    expectHostError(call, "SimStructInvalidFlagPassedToSfcn", {text(kSfcnName)}, "flag 1");
    EXPECT_EQ(column, nullptr);
    EXPECT_EQ(filledEntries(record.S()), std::vector<bool>(elevenFilled().size(), false));
    EXPECT_EQ(record.S()->sizes[sizes_index::versionStamp], 0);
}

TEST_F(EngineTest, ARecordWithoutAModelNameIsANameMismatch) {
    subhost::HostRecord record;
    record.S()->modelName = nullptr;
    ArrayScope scope;
    expectHostError(callWith(1, handleOf(record.S())), "SimStructSFunctionNameMismatch",
                    {text("Quarlin_msp"), text("")}, "null model name");
    EXPECT_EQ(filledEntries(record.S()), std::vector<bool>(elevenFilled().size(), false));
}

// A record of garbage that happens to carry the stamp: its model name is a
// pointer like any other of its bytes, and is read only where it can be.
TEST_F(EngineTest, RecordWhoseNameCannotBeReadIsRefused) {
    Pages closed(1, PROT_NONE);
    const uintptr_t goneAddress = 0x1000;  // a page nothing is mapped at
    // A name cut off by an unreadable page before the module's name ends.
    Pages edge(2);
    std::memcpy(edge.memory + edge.page() - 5, "Quarl", 5);
    mprotect(edge.memory + edge.page(), edge.page(), PROT_NONE);
    struct Case {
        const char* name;
        uintptr_t nameAddress;
    };
    const Case cases[] = {
        {"name in a page without read access", reinterpret_cast<uintptr_t>(closed.memory)},
        {"name running into an unreadable page", reinterpret_cast<uintptr_t>(edge.memory + edge.page() - 5)},
        {"name in an unmapped page", goneAddress},
        {"name at a non-canonical address", 0x4141414141414141ull},
    };
    for (const Case& c : cases) {
        subhost::HostRecord garbage;
        garbage.S()->modelName = reinterpret_cast<const char*>(c.nameAddress);
        ArrayScope scope;
        expectHandleRefused(callWith(1, handleOf(garbage.S())), "the record's model name is not a readable text", c.name);
        EXPECT_EQ(filledEntries(garbage.S()), std::vector<bool>(elevenFilled().size(), false)) << c.name;
    }
}

// A readable name longer than any the host makes is still shown whole; one
// without a terminator within 4096 bytes is no readable text.
TEST_F(EngineTest, NameMismatchShowsTheWholeReadableName) {
    const std::string longName(100, 'n');
    subhost::HostRecordOptions options;
    options.modelName = longName;
    subhost::Block block(module(), options);
    expectHostError(block.bind(), "SimStructSFunctionNameMismatch", {text("Quarlin_msp"), text(longName)},
                    "100 characters");

    subhost::HostRecord endless;
    const std::string unterminated(5000, 'n');
    endless.S()->modelName = unterminated.c_str();
    ArrayScope scope;
    expectHandleRefused(callWith(1, handleOf(endless.S())), "the record's model name is not a readable text",
                        "no terminator within 4096 bytes");
}

TEST_F(EngineTest, ArraysThatAreNoHandleMakeAPlainQuery) {
    subhost::HostRecord record;
    struct Case {
        const char* name;
        mxArray* (*make)(const SimStruct*);
    };
    const Case cases[] = {
        {"third element 8480229.5", [](const SimStruct* S) { return handleOf(S, 8480229.5); }},
        {"third element NaN", [](const SimStruct* S) { return handleOf(S, std::nan("")); }},
        {"1x3 row", [](const SimStruct* S) {
             mxArray* row = mxCreateDoubleMatrix_800(1, 3, mxREAL);
             std::memcpy(mxGetPr_800(row), mxGetPr_800(handleOf(S)), 3 * sizeof(double));
             return row;
         }},
        {"3x0", [](const SimStruct*) { return mxCreateDoubleMatrix_800(3, 0, mxREAL); }},
        {"complex 3x1", [](const SimStruct* S) {
             mxArray* complex = mxCreateDoubleMatrix_800(3, 1, mxCOMPLEX);
             std::memcpy(mxGetPr_800(complex), mxGetPr_800(handleOf(S)), 3 * sizeof(double));
             return complex;
         }},
        {"single 3x1", [](const SimStruct* S) {
             mxArray* single = mxCreateNumericMatrix_800(3, 1, mx_class::singleClass, mxREAL);
             const double* h = mxGetPr_800(handleOf(S));
             auto* values = static_cast<float*>(mxGetData_800(single));
             for (int i = 0; i < 3; ++i) values[i] = static_cast<float>(h[i]);
             return single;
         }},
    };
    for (const Case& c : cases) {
        ArrayScope scope;
        ArrayPtr column;
        const CallResult call = callWith(1, c.make(record.S()), &column);
        ASSERT_TRUE(call.ok) << c.name << ": " << call.describe();
        EXPECT_EQ(columnOf(column), expectedQuerySizes()) << c.name;
        EXPECT_EQ(filledEntries(record.S()), std::vector<bool>(elevenFilled().size(), false)) << c.name;
    }
}

// A record whose address has bit 31 set: the handle's low half is written
// as a negative number and must come back as the same 32 bits.
TEST_F(EngineTest, HandleHalvesAreSigned32BitIntegers) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = (sizeof(subhost::HostRecord) + page - 1) / page * page;
    // Any free address with bit 31 set will do; the first free one is taken.
    void* place = MAP_FAILED;
    for (uintptr_t high = 0x5a5a; high < 0x5a5a + 64 && place == MAP_FAILED; ++high) {
        void* wanted = reinterpret_cast<void*>((high << 32) | uintptr_t{0x80000000});
        place = mmap(wanted, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    }
    ASSERT_NE(place, MAP_FAILED) << "no free address with bit 31 set";
    auto* record = new (place) subhost::HostRecord();
    {
        ArrayScope scope;
        mxArray* handle = handleOf(record->S());
        ASSERT_LT(mxGetPr_800(handle)[0], 0.0);
        const CallResult bind = callWith(1, handle);
        EXPECT_TRUE(bind.ok) << bind.describe();
        EXPECT_EQ(filledEntries(record->S()), elevenFilled());
    }
    record->~HostRecord();
    munmap(place, bytes);
}

}  // namespace
}  // namespace engine_test

namespace engine_test {
namespace {

// A registration that stops early (the host refuses service 362, or the
// model-information table with 72) is no failure of the bind: the entry
// still writes its stamp, snapshot handling and options bit, and returns the
// sizes as the registration left them.
TEST_F(EngineTest, BindWhoseRegistrationStopsEarlyStillAnswers) {
    struct Case {
        const char* name;
        int32_t refusedService;
        double numInputPorts;  // what the registration got to declare
    };
    for (const Case& c : {Case{"service 362 answers 0", 362, 0}, Case{"service 72 answers 0", 72, 4}}) {
        subhost::Block block(module());
        block.host().answers[c.refusedService] = 0;
        const CallResult bind = block.bind();
        ASSERT_TRUE(bind.ok) << c.name << ": " << bind.describe();
        const auto& sizes = block.boundSizes();
        EXPECT_EQ(sizes[19], 8480229) << c.name;
        EXPECT_EQ(sizes[3], c.numInputPorts) << c.name;
        EXPECT_EQ(static_cast<uint32_t>(sizes[23]) & 0x2000u, 0x2000u) << c.name;
        EXPECT_EQ((static_cast<uint32_t>(sizes[31]) >> 19) & 0xFu, 3u) << c.name << ": snapshot handling";
        EXPECT_EQ(filledEntries(block.record()), elevenFilled()) << c.name;
    }
}

// Registration writes its own bits of the flag word and leaves the host's;
// elements the entry reads as unsigned come out unsigned with bit 31 set.
TEST_F(EngineTest, BindKeepsTheHostsBitsAndReadsUnsignedElementsUnsigned) {
    subhost::Block block(module());
    SimStruct* S = block.record();
    constexpr uint32_t kHostBits = 0x80000001u | 0x00000400u;  // bit 0, bit 10 and bit 31: none the block writes
    S->sizes[sizes_index::flags] = static_cast<int32_t>(kHostBits);
    for (int k : {15, 16, 17, 18}) S->sizes[k] = static_cast<int32_t>(0x80000000u + static_cast<uint32_t>(k));
    ASSERT_TRUE(block.bind().ok);

    const uint32_t flags = static_cast<uint32_t>(S->sizes[sizes_index::flags]);
    EXPECT_EQ(flags & kHostBits, kHostBits);
    EXPECT_EQ(flags & ~kHostBits, 0x1A1200u) << "the block's own bits";
    const auto& sizes = block.boundSizes();
    for (int k : {15, 16, 17, 18}) EXPECT_EQ(sizes[k], 2147483648.0 + k) << "element " << k;
    EXPECT_EQ(sizes[23], 1744840738.0);
    EXPECT_EQ(sizes[31], static_cast<double>(static_cast<int32_t>(flags))) << "element 31 is read signed";
    EXPECT_LT(sizes[31], 0.0);
}

}  // namespace
}  // namespace engine_test
