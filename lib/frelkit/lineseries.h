#pragma once

#include "fieldlineseries.h"
#include "frelkit_global.h"

// The five quantities of a field plot. Only the exposure series announces its
// changes; the plot redraws all five traces when it does.

class FRELKIT_EXPORT ExposureLineSeries : public FieldLineSeries
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit ExposureLineSeries(QObject *parent = nullptr);
    double readingValue(FieldReading *reading) const override;
};

class FRELKIT_EXPORT EFieldLineSeries : public FieldLineSeries
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit EFieldLineSeries(QObject *parent = nullptr);
    double readingValue(FieldReading *reading) const override;
};

class FRELKIT_EXPORT HFieldLineSeries : public FieldLineSeries
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit HFieldLineSeries(QObject *parent = nullptr);
    double readingValue(FieldReading *reading) const override;
};

class FRELKIT_EXPORT SixMinAverageLineSeries : public FieldLineSeries
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit SixMinAverageLineSeries(QObject *parent = nullptr);
    double readingValue(FieldReading *reading) const override;
};

class FRELKIT_EXPORT ThirtyMinAverageLineSeries : public FieldLineSeries
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit ThirtyMinAverageLineSeries(QObject *parent = nullptr);
    double readingValue(FieldReading *reading) const override;
};
