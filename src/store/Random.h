#pragma once
// The program's random numbers: uniform in [0, 1), single precision like the node keys and the
// random sound pick expect.
#include <QRandomGenerator>

namespace ormisk {

[[nodiscard]] inline float NextRandom(QRandomGenerator& random)
{
    return static_cast<float>(random.generateDouble()) * 0.99999994f;
}

} // namespace ormisk
