#include "driver.hpp"
#include "settings.hpp"

int main() {
    return 0;
}
