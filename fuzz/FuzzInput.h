#pragma once
// Takes typed values off the front of a fuzz input; an exhausted input yields zeros.
#include <cstddef>
#include <cstdint>

namespace ormisk::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    [[nodiscard]] const char* rest() const { return reinterpret_cast<const char*>(m_data + m_pos); }
    [[nodiscard]] size_t restSize() const { return m_size - m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace ormisk::fuzz
