#pragma once

#define kTestDialogId 200
#define kButtonId 100
#define kCheckId 101
