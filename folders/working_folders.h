// The start folder, the Windows and system folders, and the working tree
// under the temporary folder that every run deletes and builds anew.
#ifndef VARNEL_FOLDERS_WORKING_FOLDERS_H
#define VARNEL_FOLDERS_WORKING_FOLDERS_H

#include <windows.h>

int prepareWorkingFolders();
// Lets go of the tree that prepareWorkingFolders made and holds for the run.
void releaseWorkingFolders();
bool isWow64();
int createFolderPath(const char* path);
int deleteFolderTree(const char* folder);
// 1 when an entry of the tree, the folder itself included, cannot be opened
// for deletion because it is in use; links are not followed.
int folderTreeInUse(const char* folder);

// Where isWow64 finds IsWow64Process. A 64-bit test process under Wine can
// never see the WOW64 answer, so tests put their own lookup here.
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
IsWow64ProcessFn findIsWow64Process();
extern IsWow64ProcessFn (*lookupIsWow64Process)();

// Called between the deletion of the old tree and the making of the new
// one, where tests put the step of a program racing the run.
extern void (*oldTreeDeleted)();

#endif
