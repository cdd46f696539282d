// What the harnesses share: a reader of the fuzzer's bytes as a sequence of small numbers (past
// the end every read gives 0, so a harness needs no length checks of its own), and the check that
// stops the program at a finding.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// A harness's own finding: the program stops where the model and the code disagree.
#define CHECK(cond) \
    do {            \
        if (!(cond)) __builtin_trap(); \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Below(uint32_t bound) { return bound ? Word() % bound : 0; }
    uint32_t Word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }
    // A piece of up to maxBytes bytes, its length taken from the input first.
    std::string Bytes(size_t maxBytes)
    {
        size_t n = Below(static_cast<uint32_t>(maxBytes) + 1);
        if (n > size_ - (at_ < size_ ? at_ : size_)) n = size_ - (at_ < size_ ? at_ : size_);
        std::string s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
