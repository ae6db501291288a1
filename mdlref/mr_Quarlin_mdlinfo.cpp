// The model-information table of Quarlin and the checksum of its
// simulation-state layout, both handed to the host at registration.

#include "host/host_services.h"
#include "mdlref/mr_Quarlin.h"

namespace {

constexpr const char* kOwner = "Quarlin";

constexpr Quarlin_MdlInfoEntry generated(const char* identifier, int32_t kind = 17) {
    return {identifier, kind, 0, -1, 0, kOwner};
}

}  // namespace

// Generated identifiers of the model's code.  Entries 15 and 18 to 21 are
// the generated names of Quarlin_Term, Quarlin_Update, Quarlin_Reset,
// Quarlin_Init and Quarlin_initialize.
const Quarlin_MdlInfoEntry rtMdlInfo_Quarlin[kQuarlinMdlInfoCount] = {
    generated("tvqjxxvboth_prot", 16),
    generated("b0wtflhbmu_prot"),
    generated("aptt0zn3x0_prot"),
    generated("hdqxryon8j_prot"),
    generated("ndybv7zxg0_prot"),
    generated("w2vdhldsun_prot"),
    generated("qav8bppxx7_prot"),
    generated("x1c9jeqqa3_prot"),
    generated("iifpuw23yd_prot"),
    generated("csok50llsd_prot"),
    generated("x9d2veyx0g_prot"),
    generated("wsaxmknuj0_prot"),
    generated("yewu1rfc04_prot"),
    generated("rttp08kftt_prot"),
    generated("qol1yxm13b_prot"),
    generated("hagxiuwp73_prot"),  // Quarlin_Term
    generated("n7bd9g2lbc_prot"),
    generated("qrd0sma2sl_prot"),
    generated("fqyckgavjs_prot"),  // Quarlin_Update
    generated("d9u5xwqxni_prot"),  // Quarlin_Reset
    generated("mwkra4uzep_prot"),  // Quarlin_Init
    generated("uz1qssk384_prot"),  // Quarlin_initialize
    generated("owu9taheak_prot"),
    generated("a90atzl8rt_prot"),
    {"Quarlin", 17, 0, 0, 0, nullptr},  // the model itself and its output function
    generated("ckbh2dewio_prot"),
    generated("x4uje5sgz2_prot"),
    generated("z78v65e54x_prot"),
    generated("mr_Quarlin_GetSimStateDisallowedBlocks", 20),
    generated("mr_Quarlin_extractBitFieldFromCellArrayWithOffset", 20),
    generated("mr_Quarlin_cacheBitFieldToCellArrayWithOffset", 20),
    generated("mr_Quarlin_restoreDataFromMxArrayWithOffset", 20),
    generated("mr_Quarlin_cacheDataToMxArrayWithOffset", 20),
    generated("mr_Quarlin_extractBitFieldFromMxArray", 20),
    generated("mr_Quarlin_cacheBitFieldToMxArray", 20),
    generated("mr_Quarlin_restoreDataFromMxArray", 20),
    generated("mr_Quarlin_cacheDataAsMxArray", 20),
    generated("mr_Quarlin_RegisterSimStateChecksum", 20),
    generated("mr_Quarlin_SetDWork", 20),
    generated("mr_Quarlin_GetDWork", 20),
    {"Quarlin.h", 13, 0, -1, 0, nullptr},
    generated("Quarlin.c", 13),
};

void mr_Quarlin_MdlInfoRegFcn(SimStruct* S, const char* modelName, int32_t* success) {
    *success = 0;
    // The host may answer through the flag; the registration does not depend on it.
    bool infoQueryFlag = false;
    ssCallHostService(S, host_service::modelInfoQuery, 0, &infoQueryFlag);
    *success = 0;

    Quarlin_MdlInfoRegistration registration{modelName, rtMdlInfo_Quarlin, kQuarlinMdlInfoCount};
    if (ssCallHostService(S, host_service::modelInfoRegister, 0, &registration) != 0) *success = 1;
}

void mr_Quarlin_RegisterSimStateChecksum(SimStruct* S) {
    // The host copies the words during the call.
    const uint32_t checksum[4] = {0xCC466449u, 0x53FC69BFu, 0x125D1680u, 0xFD15C90Cu};
    slmrModelRefRegisterSimStateChecksum(S, "Quarlin", checksum);
}
