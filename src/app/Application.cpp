#include "app/Application.h"

#include <QApplication>

namespace ormisk {

int runApplication(int argc, char** argv)
{
    QApplication app(argc, argv);
    return 0;
}

} // namespace ormisk
