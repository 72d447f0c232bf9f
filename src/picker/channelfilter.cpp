#include "picker/channelfilter.h"

#include "picker/channelmodel.h"
#include "text/searchfold.h"

void ChannelFilter::setSearch(const QString& text)
{
    const QString folded = foldForSearch(text);
    if (folded == m_folded)
        return;
    m_folded = folded;
    invalidateFilter();
}

bool ChannelFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_folded.isEmpty())
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, ChannelModel::Name, sourceParent);
    return index.data(ChannelModel::kSearchRole).toString().contains(m_folded);
}
