#include <unistd.h>

#include "platform/computer_name.h"

std::string computerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    return name;
}
