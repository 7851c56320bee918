// The live updater of a running job: each intermediate file of the engine
// updates the job's status text, its model and the optimisation and
// dynamics history charts.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvBSTR.h"
#include "qorqm/CJobHandlerUtility.h"
#include "qorqm/CLiveUpdaterBase.h"

#include <string>

class CZelmLiveUpdater : public CLiveUpdaterBase {
public:
    explicit CZelmLiveUpdater(const CJobHandlerUtility& handler);
    ~CZelmLiveUpdater() override;

    // The item table: name, document ProgID, title.
    static const LiveUpdateItem* Items();
    static constexpr int ItemCount = 8;

    void SetName(const KelvBSTR& filePath) override;
    // The first row of that name decides by the file's extension;
    // "DynamicsPress" also needs pressure values in the file. An unknown
    // name matches nothing.
    bool MatchesItem(const std::string& itemName) override;
    void CreateItemDocument(const std::string& itemName, ISBDocumentRoot* document) override;
    void UpdateItem(const std::string& itemName, ISBDocumentRoot* document) override;
    const LiveUpdateItem* GetItem(int index) const override;
    int GetItemCount() const override;

    // The current archive written into the model: through the surface map
    // for a Surface job, the default map otherwise.
    void UpdateModel(ISBDocumentRoot* document);

    const KelvBSTR& CurrentFile() const { return m_currentFile; }

private:
    KelvBSTR m_currentFile;
    CJobHandlerUtility m_jobHandler;
};
