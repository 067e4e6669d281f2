// SPDX-License-Identifier: Apache-2.0
// The vitals of the latest result as table rows, in the registry's order, with the registry's
// display names, units and colours. Each row carries data-vital (the canonical id) and data-value
// (the number as returned), for automated checks.

/** Value digits: two decimals for small values (ratios), one for the rest. */
function formatValue(value) {
  return value.toFixed(Math.abs(value) < 10 ? 2 : 1);
}

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className) td.className = className;
  return td;
}

function confidenceCell(row, confidence, color) {
  const td = cell(row, "", "confidence");
  const bar = td.appendChild(document.createElement("span"));
  bar.className = "bar";
  const fill = bar.appendChild(document.createElement("span"));
  fill.style.width = `${Math.round(Math.min(1, Math.max(0, confidence)) * 100)}%`;
  fill.style.background = color;
  const label = td.appendChild(document.createElement("span"));
  label.textContent = confidence.toFixed(2);
}

function vitalRow(body, info, vital) {
  const row = body.insertRow();
  row.dataset.vital = info.id;
  row.dataset.value = String(vital.value);
  row.title = vital.note;
  row.style.setProperty("--vital-color", info.color);
  cell(row, info.displayName, "name");
  cell(row, formatValue(vital.value), "value");
  cell(row, info.unit, "unit");
  confidenceCell(row, vital.confidence, info.color);
}

/** Replaces the rows with `vitals` (a result's map by id); returns how many there are. */
export function showVitals(qc, table, vitals) {
  const body = table.tBodies[0];
  body.replaceChildren();
  for (const id of qc.vitalIds()) {
    if (vitals[id]) vitalRow(body, qc.getVitalInfo(id), vitals[id]);
  }
  return body.rows.length;
}
