// What the model tests share: bit views of binary32 values and one instance
// of the model's records, as the block's work vector holds them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "model/Quarlin.h"

constexpr uint32_t bits(float x) {
    return std::bit_cast<uint32_t>(x);
}

constexpr float fromBits(uint32_t b) {
    return std::bit_cast<float>(b);
}

// "0x43FD2CFC (506.351440)": compared as text so that a failure shows both.
inline std::string hexOf(float x) {
    char text[48];
    std::snprintf(text, sizeof text, "0x%08X (%.9g)", bits(x), static_cast<double>(x));
    return text;
}

// A value of type T read from `offset` bytes into `base`, as the host reads a record.
template <class T>
T readAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
    return value;
}

struct Inputs {
    float iAlpha = 0.0F;  // A
    float iBeta = 0.0F;   // A
    float vAlpha = 0.0F;  // V
    float vBeta = 0.0F;   // V
};

struct States {
    float emfAlpha = 0.0F;
    float emfBeta = 0.0F;
    float speed = 0.0F;
    float angle = 0.0F;
    float pllIntegrator = 0.0F;
    float currentBeta = 0.0F;
    float currentAlpha = 0.0F;
};

inline States statesOf(const Quarlin_DW& dw) {
    return {dw.emfAlpha, dw.emfBeta, dw.speed, dw.angle, dw.pllIntegrator, dw.currentBeta,
            dw.currentAlpha};
}

// The records of one instance, starting from the state after Quarlin_Init.
struct Model {
    Quarlin_B rtb{};
    Quarlin_DW rtdw{};
    float angleOut = 0.0F;     // output 0, rad
    float speedRpmOut = 0.0F;  // output 1, rpm

    explicit Model(const States& s = {}) {
        Quarlin_Init(&rtdw);
        load(s);
    }

    void load(const States& s) {
        rtdw.emfAlpha = s.emfAlpha;
        rtdw.emfBeta = s.emfBeta;
        rtdw.speed = s.speed;
        rtdw.angle = s.angle;
        rtdw.pllIntegrator = s.pllIntegrator;
        rtdw.currentBeta = s.currentBeta;
        rtdw.currentAlpha = s.currentAlpha;
    }

    void output(const Inputs& in) {
        Quarlin(&in.iAlpha, &in.iBeta, &in.vAlpha, &in.vBeta, &angleOut, &speedRpmOut, &rtb, &rtdw);
    }

    void step(const Inputs& in) {
        output(in);
        Quarlin_Update(&rtb, &rtdw);
    }
};
