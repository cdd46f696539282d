#pragma once

#define IDD_QLAUTOPATCH_DIALOG 102
