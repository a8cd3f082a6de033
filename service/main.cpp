// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

int main(int argc, char **argv) { return service::runService(argc, argv); }
