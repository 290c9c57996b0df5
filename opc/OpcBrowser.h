// Walks a server's item address space through IOPCBrowseServerAddressSpace and writes it
// into a tree: one root, branches with data -1, leaves with their index into m_itemIds.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "OpcUiPorts.h"
#include "opcda.h"

class COpcBrowser {
 public:
  // Names are fetched this many at a time.
  static constexpr ULONG kBatchSize = 2000;
  // A server the walk can climb back from is at most m_nMaxUpSteps + 2 levels deep in the
  // tree; anything far deeper is a naming cycle (a branch listing itself, or one named like
  // the root, whose children are its parent's), which would otherwise recurse until the
  // stack runs out. Branches at this depth get their leaves but no sub-branches.
  static constexpr int kMaxTreeDepth = 32;

  COpcBrowser() = default;
  COpcBrowser(const COpcBrowser&) = delete;
  COpcBrowser& operator=(const COpcBrowser&) = delete;

  // Releases any previous browse interface and queries the server for one; a failed query
  // leaves none. Returns the query's result (E_POINTER without a server).
  HRESULT Attach(IOPCServer* pServer);
  void Detach() { m_pBrowse.Release(); }
  BOOL CanBrowse() const { return m_pBrowse ? TRUE : FALSE; }

  void SetBrowseRootName(const std::wstring& name) { m_strRootName = name; }
  void SetBrowseFilter(const std::wstring& filter) { m_strFilter = filter; }
  const std::wstring& GetBrowseFilter() const { return m_strFilter; }
  void SetBrowseDataType(VARTYPE vt) { m_vtFilter = vt; }
  VARTYPE GetBrowseDataType() const { return m_vtFilter; }
  void SetBrowseAccessRights(BYTE rights) { m_bAccessFilter = rights; }
  BYTE GetBrowseAccessRights() const { return m_bAccessFilter; }

  // Remembers the tree and rebuilds it from the server; filters apply from here on.
  void BuildBrowseTree(IOpcTree* pTree);
  // The item ID stored for a leaf's data value; empty for an index that names no entry.
  std::wstring GetBrowseItemId(int index) const;

  // The steps of a build, in the order BuildBrowseTree uses them.
  HRESULT MoveToRoot();
  HRESULT MoveToNode(OpcTreeNode node);
  void FillFlat();
  void FillHierarchical();
  void FillChildren(OpcTreeNode node);
  void FillLeaves(OpcTreeNode node);
  void FillBranches(OpcTreeNode node);
  std::wstring GetFullItemId(LPWSTR name);

  TComPtr<IOPCBrowseServerAddressSpace> m_pBrowse;
  int m_nMaxUpSteps = 10;
  std::wstring m_strRootName = L"Root";
  IOpcTree* m_pTree = nullptr;
  int m_nOrganization = OPC_NS_HIERARCHIAL;
  std::wstring m_strFilter = L"*";
  VARTYPE m_vtFilter = VT_EMPTY;
  BYTE m_bAccessFilter = OPC_READABLE | OPC_WRITEABLE;
  std::vector<std::wstring> m_itemIds;

 private:
  // The access filter as the server gets it: the 8-bit value widened with its sign.
  DWORD AccessRightsArgument() const;
  OpcTreeNode InsertRoot();
  // Inserts a node under parent with the given data; nullptr if the tree refused it.
  OpcTreeNode InsertNode(const std::wstring& text, OpcTreeNode parent, int32_t data);

  int m_nDepth = 0;  // depth of the node whose branches are being listed
};
