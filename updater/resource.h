#pragma once

#define IDD_RENOVEK_DIALOG 102
