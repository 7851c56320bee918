#pragma once
// Live updates of a running job: each intermediate file the job manager
// delivers updates the documents of the items it belongs to. The module
// supplies the item table and three decisions per item (does the file belong
// to it, how a new document is prepared, how the document is updated); the
// base finds or makes the documents and honours the job's live-update
// policy.

#include "qorqm/CJobHandlerUtility.h"

#include "appfw/ContainerRoot.h"
#include "hostapi/hostapi.h"
#include "kelv/KelvBSTR.h"
#include "kelv/KelvComPtr.h"

#include <string>

// One live document: the item's name, the document type's ProgID and the
// document's title ("%JOB_PREFIX%" stands for the job's task prefix).
struct LiveUpdateItem {
    const char* name;
    const char* docTypeProgID;
    const char* title;
};

class ILiveUpdater {
public:
    virtual void UpdateFromFileResult(const KelvBSTR& filePath) = 0;
    virtual void UpdateFromDataResult(const KelvBSTR& dataString) = 0;
    virtual ~ILiveUpdater() = default;
};

class CLiveUpdaterBase : public ILiveUpdater {
public:
    // Shares the handler's job state (root, job, policy).
    explicit CLiveUpdaterBase(const CJobHandlerUtility& handler);

    // SetName(file), then for each item in table order that the policy serves
    // and that MatchesItem accepts: the item's document in the job's results
    // folder is found or made (CreateItemDocument once for a new one),
    // UpdateItem runs and the document is saved. Whatever an item throws ends
    // the update there.
    void UpdateFromFileResult(const KelvBSTR& filePath) override;
    // Noted in the handler's journal; nothing else.
    void UpdateFromDataResult(const KelvBSTR& dataString) override;
    ~CLiveUpdaterBase() override;

    // The policy bit that serves documents of a type: text 1, charts 2,
    // structures 4; 0 for any other type (never served).
    static int PolicyBitOfDocumentType(const std::string& docTypeProgID);
    // The title with every "%JOB_PREFIX%" replaced by the prefix.
    static std::string ExpandTitle(const std::string& title, const std::string& prefix);

protected:
    virtual void SetName(const KelvBSTR& filePath) = 0;
    virtual bool MatchesItem(const std::string& itemName) = 0;
    virtual void CreateItemDocument(const std::string& itemName, ISBDocumentRoot* document) = 0;
    virtual void UpdateItem(const std::string& itemName, ISBDocumentRoot* document) = 0;
    virtual const LiveUpdateItem* GetItem(int index) const = 0;
    virtual int GetItemCount() const = 0;

    CContainerRoot ContainerRoot() const;
    const CJobHandlerUtility& JobHandler() const { return m_handler; }

private:
    // The item's document: results folder + expanded title + the type's
    // extension; a new structure document starts as a copy of the job's
    // staged "<prefix>.qsd" (fetched from the server), with its named sets.
    KelvComPtr<ISBDocumentRoot> FindOrCreateItemDocument(const LiveUpdateItem& item, bool& created) const;
    void CopyStagedStructureInto(ISBDocumentRoot* document, const std::string& prefix) const;
    void Save(ISBDocumentRoot* document, const std::string& docTypeProgID) const;

    CJobHandlerUtility m_handler;
};
