#include "startup/start.h"

int main() {
    return runClient();
}
